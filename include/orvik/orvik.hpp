#pragma once
// Everything orvik offers.

#include <orvik/decompositions.hpp>
#include <orvik/exception.hpp>
#include <orvik/maths.hpp>
#include <orvik/matrix.hpp>
#include <orvik/runtime.hpp>
#include <orvik/times.hpp>
#include <orvik/utility.hpp>
#include <orvik/vector.hpp>
