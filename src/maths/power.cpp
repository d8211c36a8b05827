// The library's own power function, correctly rounded (to nearest, ties to
// even) for every pair of floats, with the special cases of C's powf.
//
// The result is found in up to three steps:
//
//  1. An approximation v of |x|^y in double, from log2|x| (a table of 129
//     reciprocals and a Taylor polynomial, in double-double) times y, and
//     2^t (a table of 2^(j/64) and a Taylor polynomial).  Its relative error
//     is below 2^-52.8 (the argument is written beside each part below).
//     When no midpoint between two floats lies within 2^-47 v of v, the
//     float nearest v is the float nearest |x|^y: that is the answer for
//     all but about one pair in 2^22.
//  2. Otherwise |x|^y is compared with that midpoint m.  If |x|^y is a
//     number c 2^g with c an odd integer below 2^25 (the only way it can
//     equal a midpoint), exact_power finds it exactly and the comparison is
//     exact; a tie goes to the even neighbour.
//  3. Otherwise the sign of y ln|x| - ln m, which is not zero, is found in
//     fixed point with ever more bits (Ziv's strategy) until the error bound
//     is below the value.  So the result does not rest on any search for
//     the hardest cases of pow: a pair that is not exact, however close to
//     a midpoint, is decided by enough bits.
//
// Only + - * /, fma and sqrt on doubles (every one correctly rounded by
// IEEE 754) and integer operations are used, and the library is built with
// -ffp-contract=off, so every platform gives the same bits.  The constants
// were written by power_tables.py beside this file.

#include "maths/power.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace orvik::detail {

namespace {

constexpr float positive_infinity = std::numeric_limits<float>::infinity();
constexpr std::uint32_t infinity_bits = 0x7f800000U;

// One NaN for every invalid case and every NaN operand: the hardware's
// propagation of payloads differs between platforms.
float not_a_number() noexcept { return std::bit_cast<float>(std::uint32_t{0x7fc00000U}); }

// ---------------------------------------------------------------- step 1

// For i = 0..128: r = 1/(1 + i/128) rounded to a multiple of 2^-29, and
// th + tl = -log2(r), th a multiple of 2^-42 (so that an exponent plus th is
// exact) and |th + tl + log2(r)| <= 2^-96.  r = 1 and r = 1/2 at the ends.
struct log_entry {
  double r, th, tl;
};
constexpr log_entry log_table[129] = {
    {0x1.0000000000000p+0, 0x0p+0, 0x0p+0},
    {0x1.fc07f02000000p-1, 0x1.6fe50b57e0000p-7, -0x1.30934c4b8ba84p-45},
    {0x1.f81f820000000p-1, 0x1.6e7966eae0000p-6, -0x1.d4edcba91dae3p-44},
    {0x1.f44659e000000p-1, 0x1.11cd1dbed8000p-5, 0x1.513fa3da37da6p-47},
    {0x1.f07c1f0000000p-1, 0x1.6bad381198000p-5, 0x1.09cef0666b0dep-44},
    {0x1.ecc07b3000000p-1, 0x1.c4dfab9390000p-5, -0x1.50920574822bap-44},
    {0x1.e9131ac000000p-1, 0x1.0eb389eea0000p-4, -0x1.540eabcf14e70p-45},
    {0x1.e573ac9000000p-1, 0x1.3aa2fdd3f0000p-4, 0x1.c28f4c432e9b8p-46},
    {0x1.e1e1e1e000000p-1, 0x1.663f6fc3a8000p-4, -0x1.8732fc2d260fdp-44},
    {0x1.de5d6e4000000p-1, 0x1.918a16de9c000p-4, 0x1.e3d19cfb0f4a2p-44},
    {0x1.dae6077000000p-1, 0x1.bc8423d408000p-4, 0x1.90b1a77a128c1p-47},
    {0x1.d77b655000000p-1, 0x1.e72ec0dfb8000p-4, -0x1.82e489a13723dp-44},
    {0x1.d41d41d000000p-1, 0x1.08c588e7a0000p-3, -0x1.c5d2bd67b3316p-45},
    {0x1.d0cb58f000000p-1, 0x1.1dcd19a154000p-3, -0x1.7061cdcfebd71p-44},
    {0x1.cd85689000000p-1, 0x1.32ae9e28fc000p-3, 0x1.b0c23f738981cp-46},
    {0x1.ca4b305000000p-1, 0x1.476a9fbe7a000p-3, 0x1.6625c5e3500dfp-44},
    {0x1.c71c71c000000p-1, 0x1.5c01a3cde8000p-3, -0x1.176a5486a3597p-48},
    {0x1.c3f8f02000000p-1, 0x1.70742d366a000p-3, -0x1.cfa320a962c9ap-45},
    {0x1.c0e0704000000p-1, 0x1.84c2bccf00000p-3, 0x1.6a32c05d1aa1ep-45},
    {0x1.bdd2b8a000000p-1, 0x1.98edd04b2e000p-3, -0x1.631befd01407fp-46},
    {0x1.bacf915000000p-1, 0x1.acf5e2c156000p-3, 0x1.b1da94aafa7afp-44},
    {0x1.b7d6c3e000000p-1, 0x1.c0db6ccdb6000p-3, 0x1.ee74592eccc21p-46},
    {0x1.b4e81b5000000p-1, 0x1.d49ee4b90c000p-3, 0x1.1f0142b46740ep-45},
    {0x1.b203640000000p-1, 0x1.e840bea312000p-3, -0x1.98d1a00b51d32p-44},
    {0x1.af286bd000000p-1, 0x1.fbc16b67c2000p-3, -0x1.789d15ccf0f2dp-44},
    {0x1.ac5701b000000p-1, 0x1.0790adae63000p-2, 0x1.762ea8d277e54p-44},
    {0x1.a98ef60000000p-1, 0x1.11307dc446000p-2, -0x1.3df5bb6d76206p-50},
    {0x1.a6d01a7000000p-1, 0x1.1ac05b1ea9000p-2, 0x1.8aad6a29e8f2ep-44},
    {0x1.a41a41a000000p-1, 0x1.24407abf4e000p-2, -0x1.fe44734f657f4p-45},
    {0x1.a16d3f9000000p-1, 0x1.2db10fdfe7000p-2, -0x1.9579019222acdp-44},
    {0x1.9ec8e95000000p-1, 0x1.37124cede8000p-2, 0x1.8fab4801c3cbep-45},
    {0x1.9c2d14f000000p-1, 0x1.406463ab8f000p-2, -0x1.897e0476da231p-44},
    {0x1.999999a000000p-1, 0x1.49a784a5bc000p-2, 0x1.c52b9ce940896p-44},
    {0x1.970e4f8000000p-1, 0x1.52dbdfc7ac000p-2, 0x1.424831f186015p-46},
    {0x1.948b0fd000000p-1, 0x1.5c01a3965d000p-2, -0x1.e438c07000406p-45},
    {0x1.920fb4a000000p-1, 0x1.6518fe3ba6000p-2, -0x1.f84880c7f2f47p-45},
    {0x1.8f9c190000000p-1, 0x1.6e221cc2bc000p-2, -0x1.e5fe120d3a653p-44},
    {0x1.8d3018d000000p-1, 0x1.771d2bb31e000p-2, 0x1.29a9738e4273bp-49},
    {0x1.8acb90f000000p-1, 0x1.800a564aa1000p-2, 0x1.6b4137a1fb651p-47},
    {0x1.886e5f1000000p-1, 0x1.88e9c71a35000p-2, -0x1.38041f2fcfdcep-45},
    {0x1.8618618000000p-1, 0x1.91bba8a907000p-2, -0x1.203d6c9c8b1bfp-44},
    {0x1.83c977b000000p-1, 0x1.9a80237f7d000p-2, 0x1.f07652daa5ad2p-45},
    {0x1.8181818000000p-1, 0x1.a33760adbb000p-2, 0x1.5b8c961dd7b00p-44},
    {0x1.7f405fd000000p-1, 0x1.abe187984e000p-2, 0x1.26aebbe04fdb6p-44},
    {0x1.7d05f41000000p-1, 0x1.b47ebf91d4000p-2, 0x1.7bf59ea2d0a4cp-46},
    {0x1.7ad2209000000p-1, 0x1.bd0f2e96e6000p-2, 0x1.e761bd11f47cap-48},
    {0x1.78a4c81000000p-1, 0x1.c592faf029000p-2, -0x1.c78b221e3694cp-48},
    {0x1.767dce4000000p-1, 0x1.ce0a4930a1000p-2, 0x1.ffd6339724272p-44},
    {0x1.745d174000000p-1, 0x1.d6753e1a44000p-2, -0x1.7aac2669184b1p-46},
    {0x1.724287f000000p-1, 0x1.ded3fd55d0000p-2, -0x1.42460fb93443ep-44},
    {0x1.702e05c000000p-1, 0x1.e726aa2158000p-2, -0x1.3e5297a29a541p-47},
    {0x1.6e1f76b000000p-1, 0x1.ef6d674382000p-2, -0x1.ec4e4a2efa082p-45},
    {0x1.6c16c17000000p-1, 0x1.f7a8567cd2000p-2, -0x1.a144b426c9931p-45},
    {0x1.6a13cd1000000p-1, 0x1.ffd799bd88000p-2, -0x1.a20bdf7cfe14cp-44},
    {0x1.6816817000000p-1, 0x1.03fda8a93e800p-1, 0x1.0e0222880037ep-44},
    {0x1.661ec6a000000p-1, 0x1.0809cf326c800p-1, 0x1.41788302b6b80p-44},
    {0x1.642c859000000p-1, 0x1.0c10500ed5000p-1, -0x1.2424c605d73d9p-49},
    {0x1.623fa77000000p-1, 0x1.10113b156a800p-1, 0x1.c9b3e13291bd0p-44},
    {0x1.6058160000000p-1, 0x1.140c9fb5a9000p-1, -0x1.026e39dcdd78ap-46},
    {0x1.5e75bb9000000p-1, 0x1.18028cf0d9800p-1, 0x1.28fa44809c081p-44},
    {0x1.5c9882c000000p-1, 0x1.1bf311daef800p-1, 0x1.a1f92184dae5fp-44},
    {0x1.5ac056b000000p-1, 0x1.1fde3d3116000p-1, 0x1.e79773725e215p-44},
    {0x1.58ed231000000p-1, 0x1.23c41d317f000p-1, -0x1.1f6cc9de29db4p-44},
    {0x1.571ed3c000000p-1, 0x1.27a4c0632e800p-1, 0x1.c7bec1a0474adp-44},
    {0x1.5555555000000p-1, 0x1.2b80347f82800p-1, -0x1.79f09f491b563p-44},
    {0x1.5390949000000p-1, 0x1.2f56875d14800p-1, -0x1.947b4431a1b3ap-46},
    {0x1.51d07eb000000p-1, 0x1.3327c6a752000p-1, 0x1.11392fc7031a7p-44},
    {0x1.5015015000000p-1, 0x1.36f3ffb707800p-1, -0x1.fa698982f4d1fp-44},
    {0x1.4e5e0a7000000p-1, 0x1.3abb3fb080000p-1, 0x1.2814835b71c38p-45},
    {0x1.4cab887000000p-1, 0x1.3e7d937f32000p-1, -0x1.636309e448dcfp-44},
    {0x1.4afd6a0000000p-1, 0x1.423b07f511800p-1, -0x1.8db71598e3d18p-44},
    {0x1.49539e4000000p-1, 0x1.45f3a97f4e800p-1, -0x1.7b42a6ed56382p-47},
    {0x1.47ae148000000p-1, 0x1.49a784b147000p-1, 0x1.4fd65e687c927p-45},
    {0x1.460cbc8000000p-1, 0x1.4d56a5b1cb800p-1, 0x1.7ce548324d5a4p-45},
    {0x1.446f865000000p-1, 0x1.5101187e9b800p-1, 0x1.c3e9d87066dd2p-47},
    {0x1.42d6626000000p-1, 0x1.54a6e8c432800p-1, 0x1.1e442019c22b4p-45},
    {0x1.4141414000000p-1, 0x1.5848226c6c800p-1, -0x1.eb9022c74ef36p-48},
    {0x1.3fb0140000000p-1, 0x1.5be4d0bfc6800p-1, 0x1.f983007b86b54p-45},
    {0x1.3e22cbd000000p-1, 0x1.5f7cff3de9000p-1, -0x1.ab3a81d27ed14p-46},
    {0x1.3c995a4000000p-1, 0x1.6310b9075b800p-1, 0x1.225a47f75a18fp-44},
    {0x1.3b13b14000000p-1, 0x1.66a008d8ee000p-1, -0x1.6f5abbe836dc0p-45},
    {0x1.3991c2c000000p-1, 0x1.6a2af9e93c800p-1, -0x1.e1bd72c8e9229p-44},
    {0x1.3813814000000p-1, 0x1.6db19694a0800p-1, -0x1.ab22f439b04cep-44},
    {0x1.3698df4000000p-1, 0x1.7133e9ac4a000p-1, 0x1.0101a273378dcp-44},
    {0x1.3521cfb000000p-1, 0x1.74b1fd6b5e800p-1, -0x1.d5e2c3bd1ea87p-46},
    {0x1.33ae45b000000p-1, 0x1.782bdc0b04800p-1, 0x1.05f1ac16a8571p-46},
    {0x1.323e34a000000p-1, 0x1.7ba18f99ce000p-1, 0x1.52a8d1b057fe1p-44},
    {0x1.30d1901000000p-1, 0x1.7f13221f92000p-1, -0x1.ee23dd503bfc8p-44},
    {0x1.2f684be000000p-1, 0x1.82809d4d79800p-1, 0x1.d47534fd19597p-44},
    {0x1.2e025c0000000p-1, 0x1.85ea0b16b2800p-1, -0x1.4f6255cb58448p-44},
    {0x1.2c9fb4e000000p-1, 0x1.894f749cf5000p-1, 0x1.1dbafbcf99ed7p-47},
    {0x1.2b404ad000000p-1, 0x1.8cb0e3b4e2000p-1, -0x1.995ff1ee04fa9p-45},
    {0x1.29e412a000000p-1, 0x1.900e615bac000p-1, 0x1.7b677aadf7527p-44},
    {0x1.288b013000000p-1, 0x1.9367f6c777800p-1, 0x1.3769f4c800168p-45},
    {0x1.27350b9000000p-1, 0x1.96bdad16f5000p-1, 0x1.60451909b1e4fp-45},
    {0x1.25e2271000000p-1, 0x1.9a0f8d2709800p-1, 0x1.114730b0e64fbp-45},
    {0x1.2492492000000p-1, 0x1.9d5d9fe08b800p-1, 0x1.77489962c3c37p-44},
    {0x1.2345679000000p-1, 0x1.a0a7ed94b4800p-1, -0x1.c6ae4454949e2p-44},
    {0x1.21fb781000000p-1, 0x1.a3ee7f3e4a800p-1, -0x1.573d220dd85d6p-49},
    {0x1.20b470c000000p-1, 0x1.a7315d1389800p-1, -0x1.419a1d31e6bbep-44},
    {0x1.1f7047e000000p-1, 0x1.aa708f4de8000p-1, -0x1.0231bcc3fd232p-48},
    {0x1.1e2ef3b000000p-1, 0x1.adac1e7b64000p-1, -0x1.83e576c1e65d1p-48},
    {0x1.1cf06ae000000p-1, 0x1.b0e4125ca6800p-1, 0x1.fc67b490c3e0dp-46},
    {0x1.1bb4a40000000p-1, 0x1.b41873561a800p-1, 0x1.63822312fb482p-44},
    {0x1.1a7b961000000p-1, 0x1.b74948f9a7000p-1, 0x1.583d80f50f104p-44},
    {0x1.1945381000000p-1, 0x1.ba769b26f5000p-1, 0x1.0d817fc17f65ep-44},
    {0x1.1811812000000p-1, 0x1.bda071b77c800p-1, 0x1.e27edd411c5dfp-45},
    {0x1.16e0689000000p-1, 0x1.c0c6d452c6000p-1, 0x1.3c794f4c19040p-49},
    {0x1.15b1e5f000000p-1, 0x1.c3e9ca4194000p-1, -0x1.9bcabd4b19d5bp-47},
    {0x1.1485f0e000000p-1, 0x1.c7095aeaec000p-1, -0x1.cfb061fe6cf97p-44},
    {0x1.135c811000000p-1, 0x1.ca258dd397800p-1, 0x1.46f3042120d2ap-49},
    {0x1.12358e7000000p-1, 0x1.cd3e6a1c59000p-1, 0x1.bcc49c85010f8p-47},
    {0x1.1111111000000p-1, 0x1.d053f6d543000p-1, 0x1.929ec35950aa9p-44},
    {0x1.0fef011000000p-1, 0x1.d3663b27c5000p-1, -0x1.a7865a43398dcp-46},
    {0x1.0ecf56c000000p-1, 0x1.d6753dfeda800p-1, 0x1.1c6778127ff6bp-44},
    {0x1.0db20a9000000p-1, 0x1.d98106308a800p-1, 0x1.79dea6658ab60p-45},
    {0x1.0c97150000000p-1, 0x1.dc899aa874800p-1, 0x1.989b3e3ba033bp-44},
    {0x1.0b7e6ec000000p-1, 0x1.df8f020ee9000p-1, -0x1.126c580e92bcep-45},
    {0x1.0a6810a000000p-1, 0x1.e29142f2e8800p-1, 0x1.9e49f01f827bep-44},
    {0x1.0953f39000000p-1, 0x1.e59063c8b0800p-1, -0x1.445ea0b3709d7p-44},
    {0x1.0842108000000p-1, 0x1.e88c6b41b1800p-1, -0x1.a9158877e87edp-44},
    {0x1.073260a000000p-1, 0x1.eb855f9948000p-1, 0x1.95e220f4f08d4p-44},
    {0x1.0624dd3000000p-1, 0x1.ee7b4718b4800p-1, -0x1.f639c65b7fc06p-44},
    {0x1.05197f8000000p-1, 0x1.f16e281680800p-1, 0x1.e5a0ec2449f1bp-44},
    {0x1.0410410000000p-1, 0x1.f45e08c87b000p-1, 0x1.20f235909812ap-46},
    {0x1.03091b5000000p-1, 0x1.f74aef1492000p-1, 0x1.1140007c6c80ep-44},
    {0x1.0204081000000p-1, 0x1.fa34e117d8800p-1, -0x1.eb1088dd32150p-47},
    {0x1.0101010000000p-1, 0x1.fd1be4cad5800p-1, -0x1.3bf96fe1772f6p-44},
    {0x1.0000000000000p-1, 0x1.0000000000000p+0, 0x0p+0},
};

// 2^(j/64) = hi + lo, |hi + lo - 2^(j/64)| <= 2^-105.
constexpr double exp_table[64][2] = {
    {0x1.0000000000000p+0, 0x0p+0},
    {0x1.02c9a3e778061p+0, -0x1.19083535b085dp-56},
    {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0874518759bc8p+0, 0x1.186be4bb284ffp-57},
    {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.0e3ec32d3d1a2p+0, 0x1.03a1727c57b53p-59},
    {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.1429aaea92de0p+0, -0x1.32fbf9af1369ep-54},
    {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.1a35beb6fcb75p+0, 0x1.e5b4c7b4968e4p-55},
    {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.2063b88628cd6p+0, 0x1.dc775814a8495p-55},
    {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.26b4565e27cddp+0, 0x1.2bd339940e9d9p-55},
    {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.2d285a6e4030bp+0, 0x1.0024754db41d5p-54},
    {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.33c08b26416ffp+0, 0x1.32721843659a6p-54},
    {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.3a7db34e59ff7p+0, -0x1.5e436d661f5e3p-56},
    {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.4160a21f72e2ap+0, -0x1.ef3691c309278p-58},
    {0x1.44e086061892dp+0, 0x1.89b7a04ef80d0p-59},
    {0x1.486a2b5c13cd0p+0, 0x1.3c1a3b69062f0p-56},
    {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.4f9b2769d2ca7p+0, -0x1.4b309d25957e3p-54},
    {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.56f4736b527dap+0, 0x1.9bb2c011d93adp-54},
    {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.5e76f15ad2148p+0, 0x1.ba6f93080e65ep-54},
    {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6623882552225p+0, -0x1.bb60987591c34p-54},
    {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.6dfb23c651a2fp+0, -0x1.bbe3a683c88abp-57},
    {0x1.71f75e8ec5f74p+0, -0x1.16e4786887a99p-55},
    {0x1.75feb564267c9p+0, -0x1.0245957316dd3p-54},
    {0x1.7a11473eb0187p+0, -0x1.41577ee04992fp-55},
    {0x1.7e2f336cf4e62p+0, 0x1.05d02ba15797ep-56},
    {0x1.82589994cce13p+0, -0x1.d4c1dd41532d8p-54},
    {0x1.868d99b4492edp+0, -0x1.fc6f89bd4f6bap-54},
    {0x1.8ace5422aa0dbp+0, 0x1.6e9f156864b27p-54},
    {0x1.8f1ae99157736p+0, 0x1.5cc13a2e3976cp-55},
    {0x1.93737b0cdc5e5p+0, -0x1.75fc781b57ebcp-57},
    {0x1.97d829fde4e50p+0, -0x1.d185b7c1b85d1p-54},
    {0x1.9c49182a3f090p+0, 0x1.c7c46b071f2bep-56},
    {0x1.a0c667b5de565p+0, -0x1.359495d1cd533p-54},
    {0x1.a5503b23e255dp+0, -0x1.d2f6edb8d41e1p-54},
    {0x1.a9e6b5579fdbfp+0, 0x1.0fac90ef7fd31p-54},
    {0x1.ae89f995ad3adp+0, 0x1.7a1cd345dcc81p-54},
    {0x1.b33a2b84f15fbp+0, -0x1.2805e3084d708p-57},
    {0x1.b7f76f2fb5e47p+0, -0x1.5584f7e54ac3bp-56},
    {0x1.bcc1e904bc1d2p+0, 0x1.23dd07a2d9e84p-55},
    {0x1.c199bdd85529cp+0, 0x1.11065895048ddp-55},
    {0x1.c67f12e57d14bp+0, 0x1.2884dff483cadp-54},
    {0x1.cb720dcef9069p+0, 0x1.503cbd1e949dbp-56},
    {0x1.d072d4a07897cp+0, -0x1.cbc3743797a9cp-54},
    {0x1.d5818dcfba487p+0, 0x1.2ed02d75b3707p-55},
    {0x1.da9e603db3285p+0, 0x1.c2300696db532p-54},
    {0x1.dfc97337b9b5fp+0, -0x1.1a5cd4f184b5cp-54},
    {0x1.e502ee78b3ff6p+0, 0x1.39e8980a9cc8fp-55},
    {0x1.ea4afa2a490dap+0, -0x1.e9c23179c2893p-54},
    {0x1.efa1bee615a27p+0, 0x1.dc7f486a4b6b0p-54},
    {0x1.f50765b6e4540p+0, 0x1.9d3e12dd8a18bp-54},
    {0x1.fa7c1819e90d8p+0, 0x1.74853f3a5931ep-55},
};

// 1/ln 2 = inv_ln2_hi + inv_ln2_lo within 2^-108; log2(1 + z) is the sum
// of A_k z^k with A_k = (-1)^(k+1) / (k ln 2), and log2_ak is A_k rounded.
constexpr double inv_ln2_hi = 0x1.71547652b82fep+0;
constexpr double inv_ln2_lo = 0x1.777d0ffda0d24p-56;
constexpr double log2_a3 = 0x1.ec709dc3a03fdp-2;
constexpr double log2_a4 = -0x1.71547652b82fep-2;
constexpr double log2_a5 = 0x1.2776c50ef9bfep-2;
constexpr double log2_a6 = -0x1.ec709dc3a03fdp-3;
constexpr double log2_a7 = 0x1.a61762a7aded9p-3;
constexpr double log2_a8 = -0x1.71547652b82fep-3;
// 2^w - 1 is the sum of (ln 2)^k w^k / k!; these are the coefficients, k = 1..6.
constexpr double exp2_b1 = 0x1.62e42fefa39efp-1;
constexpr double exp2_b2 = 0x1.ebfbdff82c58fp-3;
constexpr double exp2_b3 = 0x1.c6b08d704a0c0p-5;
constexpr double exp2_b4 = 0x1.3b2ab6fba4e77p-7;
constexpr double exp2_b5 = 0x1.5d87fe78a6731p-10;
constexpr double exp2_b6 = 0x1.430912f86c787p-13;

// s + e = a + b exactly (Knuth), whatever the magnitudes.
void two_sum(double a, double b, double& s, double& e) noexcept {
  s = a + b;
  const double bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}

// The same when |a| >= |b| (Dekker).
void fast_two_sum(double a, double b, double& s, double& e) noexcept {
  s = a + b;
  e = b - (s - a);
}

double two_to(int k) noexcept {  // -1022 <= k <= 1023
  return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// log2(x) = lh + ll for a positive finite float x other than 1, with
// |lh + ll - log2 x| <= 2^-64.4 |log2 x| and |ll| <= 2^-52 |lh|.
//
// x = 2^e m with m in [1, 2) and i = round(128 (m - 1)), so that
// |m - (1 + i/128)| <= 2^-8; z = m r_i - 1 is exact (m has 24 bits, r_i 30,
// the product is a multiple of 2^-52 below 2, and so is z) and
// |z| <= 2^-8 r_i + 2^-30 (1 + i/128) <= 2^-8 (1 + 2^-21) =: Z.
// log2 x = (e + th) + tl + log2(1 + z), e + th exact (a multiple of 2^-42
// below 2^8), and log2(1 + z) = A1 z + A2 z^2 + z^3 R(z) + T(z) with
// A1 = 1/ln 2 and A2 = -A1/2 taken as double-doubles (the products A1h z,
// z^2 and A2h z^2 exactly through fma), R the polynomial A3 + ... + A8 z^5
// in double and T the truncated tail, |T| <= Z^9 / (9 ln 2 (1 - Z))
// <= 2^-74.6 (and <= 0.17 |z|^9).  The errors:
//  - z^3 R(z) in double: |R| <= 0.4825, |z^3 R| <= 2^-25.05; the rounding of
//    z^3 (two roundings), of the five Horner steps (|z| small, so each adds
//    at most 2^-52 relative) and of the coefficients stay below 2^-49
//    relative, 2^-74.05 absolute (and 2^-49.9 |z|^3);
//  - the table: 2^-96; the low parts of A1 z and A2 z^2 and their
//    roundings: below 2^-110;
//  - the roundings of the sum of the low parts, at most 8 additions of
//    terms whose partial sums stay below 2^-25.04 + 2^-52 |log2 x| (the
//    error terms of the two TwoSums are at most 2^-53 of their sums):
//    8 * 2^-53 (2^-25.04 + ...) <= 2^-75 + 2^-102 |log2 x|.
// When e + th = 0 (x in [1 - 2^-9, 1 + 2^-8): i = 0 and e = 0, or i = 128
// and e = -1), log2 x = log2(1 + z) >= 1.4398 |z| and every error term
// above is at most a multiple of |z|^3: the relative error is at most
// (2^-49.9 + 2^-53 + 0.17 Z^6) Z^2 / 1.4398 < 2^-65.
// Otherwise |log2 x| >= -log2(1 - 2^-9) > 2^-8.48 and the absolute errors
// add up to less than 2^-72.9: the relative error is below 2^-64.42.
void log2_of(float x, double& lh, double& ll) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(static_cast<double>(x));
  // A subnormal float is a normal double: no special case.
  const int e = static_cast<int>(bits >> 52) - 1023;
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const auto i = static_cast<std::size_t>((fraction + (std::uint64_t{1} << 44)) >> 45);
  const double m = std::bit_cast<double>(fraction | (std::uint64_t{1023} << 52));
  const log_entry& entry = log_table[i];
  const double z = m * entry.r - 1.0;

  const double a1h = inv_ln2_hi * z;
  const double a1l = std::fma(inv_ln2_hi, z, -a1h);
  const double zz = z * z;
  const double zzl = std::fma(z, z, -zz);
  const double a2 = -0.5 * inv_ln2_hi;  // exact
  const double a2h = a2 * zz;
  const double a2l = std::fma(a2, zz, -a2h);
  const double r = log2_a3 + z * (log2_a4 + z * (log2_a5 + z * (log2_a6 + z * (log2_a7 + z * log2_a8))));
  const double cubic = (zz * z) * r;

  const double h = static_cast<double>(e) + entry.th;
  double s1 = 0.0;
  double e1 = 0.0;
  two_sum(h, a1h, s1, e1);
  double s2 = 0.0;
  double e2 = 0.0;
  two_sum(s1, a2h, s2, e2);
  const double small = ((entry.tl + a1l) + inv_ln2_lo * z) + ((a2l + a2 * zzl) + (-0.5 * inv_ln2_lo) * zz);
  const double low = ((small + cubic) + e1) + e2;
  fast_two_sum(s2, low, lh, ll);
}

// 2^(th + tl) for |th| <= 161, |tl| <= 2^-44, with a relative error at most
// 2^-52.94.
//
// k = round(64 th), computed by adding and removing 1.5 2^52 (|64 th| is far
// below 2^51); r = th - k/64 is exact (|r| <= 2^-7, and r is a multiple of
// ulp(th) unless k = 0 and r = th), and w = r + tl rounded, |w| <= 2^-6.99,
// an error of at most 2^-60 in the exponent (2^-60.5 relative). 2^w - 1 =
// p: Taylor to degree 6, the tail (ln 2 |w|)^7 / 7! (1.001) <= 2^-64.9; the
// coefficients' rounding 2^-53 (2^|w| - 1) <= 2^-60.5 and the Horner
// roundings (2^-52 relative to |p| <= 0.00545, the inner steps damped by
// |w| <= 2^-7) <= 2^-59.5: |p - (2^w - 1)| <= 2^-58.9.  With 2^(k/64) =
// 2^q (eh + el), the result is 2^q (eh + fma(eh, p, el)): the fma's
// rounding (2^-53 of 0.0109) is 2^-59.5, the omitted el p at most 2^-60.5,
// the last addition 2^-53.  Relative to 2^w >= 0.9946 the sum is
// 2^-53 (1 + 2^-5.9 + 2^-6.5 + 2 * 2^-7.5) <= 2^-52.94.
double exp2_of(double th, double tl) noexcept {
  constexpr double shifter = 0x1.8p52;
  const double kd = (th * 64.0 + shifter) - shifter;
  const auto k = static_cast<std::int32_t>(kd);
  const double r = th - kd * 0x1p-6;
  const double w = r + tl;
  const double p = w * (exp2_b1 + w * (exp2_b2 + w * (exp2_b3 + w * (exp2_b4 + w * (exp2_b5 + w * exp2_b6)))));
  const std::int32_t j = k & 63;
  const std::int32_t q = (k - j) / 64;
  const double eh = exp_table[j][0];
  const double el = exp_table[j][1];
  return (eh + std::fma(eh, p, el)) * two_to(q);
}

// ---------------------------------------------------------------- step 2

// x = X 2^a with X odd (x a positive finite float).
void split_float(float x, std::uint32_t& odd, std::int32_t& exponent) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(x);
  std::uint32_t significand = bits & 0x7fffffU;
  const auto biased = static_cast<std::int32_t>(bits >> 23);
  exponent = -149;
  if (biased != 0) {
    significand |= 0x800000U;
    exponent = biased - 150;
  }
  const int zeros = std::countr_zero(significand);
  odd = significand >> zeros;
  exponent += zeros;
}

// If x^y (x a positive finite float, y a finite non-zero float) is c 2^g
// with c an odd integer below 2^25 and -200 <= g <= 200, sets value to it
// and returns true; otherwise returns false.
//
// Write x = X 2^a (X odd) and y = Y 2^-k (Y an odd integer, k >= 0, or y an
// integer and k = 0). If X = 1, x^y = 2^(a y) is dyadic exactly when a y
// is an integer. If X > 1 and x^y = c 2^g, then x^(y 2^k) = c^(2^k)
// 2^(g 2^k) with y 2^k an integer: it is positive (1/X^n is not dyadic),
// so y > 0, and comparing the odd parts, X^(y 2^k) = c^(2^k). When k > 0,
// y 2^k = Y is odd, so every prime's exponent in X is a multiple of 2^k: X
// = W^(2^k) and c = W^Y, and 2^k divides a. Since 3 <= X < 2^24, 2^k <= 15:
// k <= 3. Since c < 2^25 and W >= 3, Y <= 15 (and y <= 15 when k = 0).
bool exact_power(float x, float y, double& value) noexcept {
  std::uint32_t odd = 0;
  std::int32_t a = 0;
  split_float(x, odd, a);
  if (odd == 1) {
    const double n = static_cast<double>(a) * static_cast<double>(y);  // exact: 8 bits times 24
    if (!(n >= -200.0 && n <= 200.0)) return false;
    const auto k = static_cast<int>(n);
    if (static_cast<double>(k) != n) return false;
    value = std::ldexp(1.0, k);
    return true;
  }
  if (!(y > 0.0f && y <= 15.0f)) return false;
  const double eighths = static_cast<double>(y) * 8.0;
  const auto n = static_cast<std::uint32_t>(eighths);
  if (static_cast<double>(n) != eighths) return false;
  const int twos = std::min(3, std::countr_zero(n));
  const int k = 3 - twos;
  const std::uint32_t numerator = n >> twos;
  const std::int32_t root_count = std::int32_t{1} << k;
  if (a % root_count != 0) return false;
  std::uint32_t w = odd;
  for (int step = 0; step < k; ++step) {
    // sqrt is exact on a perfect square below 2^24, and rounds to a number
    // whose square differs from w otherwise.
    const auto root = static_cast<std::uint32_t>(std::sqrt(static_cast<double>(w)));
    if (root * root != w) return false;
    w = root;
  }
  std::uint64_t c = 1;
  for (std::uint32_t step = 0; step < numerator; ++step) {
    c *= w;
    if (c >= (std::uint64_t{1} << 25)) return false;
  }
  const std::int32_t g = (a / root_count) * static_cast<std::int32_t>(numerator);
  if (g < -200 || g > 200) return false;
  value = std::ldexp(static_cast<double>(c), g);
  return true;
}

// ---------------------------------------------------------------- step 3

// A non-negative integer of any size, least significant 32-bit limb first,
// with no zero limb at the top.
class natural {
 public:
  static natural power_of_two(std::uint32_t k) {
    natural n;
    n.limbs_.assign(k / 32 + 1, 0);
    n.limbs_.back() = std::uint32_t{1} << (k % 32);
    return n;
  }
  [[nodiscard]] bool is_zero() const noexcept { return limbs_.empty(); }
  [[nodiscard]] std::uint64_t bit_length() const noexcept {
    if (limbs_.empty()) return 0;
    return 32 * (limbs_.size() - 1) + static_cast<std::uint64_t>(std::bit_width(limbs_.back()));
  }
  void multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t product = static_cast<std::uint64_t>(limb) * factor + carry;
      limb = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) limbs_.push_back(static_cast<std::uint32_t>(carry));
    trim();
  }
  // Rounds toward zero.
  void divide(std::uint32_t divisor) noexcept {
    std::uint64_t remainder = 0;
    for (std::size_t i = limbs_.size(); i-- > 0;) {
      const std::uint64_t current = (remainder << 32) | limbs_[i];
      limbs_[i] = static_cast<std::uint32_t>(current / divisor);
      remainder = current % divisor;
    }
    trim();
  }
  void shift_left(std::uint32_t count) {
    if (limbs_.empty() || count == 0) return;
    const std::uint32_t whole = count / 32;
    const std::uint32_t part = count % 32;
    if (part != 0) {
      std::uint32_t carry = 0;
      for (std::uint32_t& limb : limbs_) {
        const std::uint32_t next = limb >> (32 - part);
        limb = (limb << part) | carry;
        carry = next;
      }
      if (carry != 0) limbs_.push_back(carry);
    }
    limbs_.insert(limbs_.begin(), whole, 0);
  }
  void add(const natural& other) {
    if (limbs_.size() < other.limbs_.size()) limbs_.resize(other.limbs_.size(), 0);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
      const std::uint64_t sum = static_cast<std::uint64_t>(limbs_[i]) + carry +
                                (i < other.limbs_.size() ? other.limbs_[i] : std::uint32_t{0});
      limbs_[i] = static_cast<std::uint32_t>(sum);
      carry = sum >> 32;
    }
    if (carry != 0) limbs_.push_back(static_cast<std::uint32_t>(carry));
  }
  // *this - other, which must not be negative.
  void subtract(const natural& other) noexcept {
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
      const std::uint64_t take = borrow + (i < other.limbs_.size() ? other.limbs_[i] : std::uint32_t{0});
      const std::uint64_t have = limbs_[i];
      limbs_[i] = static_cast<std::uint32_t>(have - take);
      borrow = have < take ? 1 : 0;
    }
    trim();
  }
  [[nodiscard]] int compare(const natural& other) const noexcept {
    if (limbs_.size() != other.limbs_.size()) return limbs_.size() < other.limbs_.size() ? -1 : 1;
    for (std::size_t i = limbs_.size(); i-- > 0;) {
      if (limbs_[i] != other.limbs_[i]) return limbs_[i] < other.limbs_[i] ? -1 : 1;
    }
    return 0;
  }

 private:
  void trim() noexcept {
    while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
  }
  std::vector<std::uint32_t> limbs_;
};

// 2^bits atanh(p/q) for 0 <= p/q <= 1/3, too small by less than
// bits/2 + 2.
//
// With s = p/q, T_j = 2^bits s^(2j+1) and t_j its computed value (each
// multiplication exact, each division rounded down): t_j <= T_j, and
// T_0 - t_0 < 1, T_j - t_j <= (T_(j-1) - t_(j-1)) s^2 + s + 1, so every
// T_j - t_j < 1.5. The sum adds floor(t_j/(2j+1)), each short of
// T_j/(2j+1) by less than 1.5; t_j >= 1 needs 2^bits 3^-(2j+1) >= 1, so at
// most bits/3.17 terms after the first are non-zero; when t_J = 0 the
// remaining tail is below 1.5 (9/8)/3. In all, less than
// 1 + 1.5 bits/3.17 + 0.57 <= bits/2 + 2.
natural atanh_fixed(std::uint32_t p, std::uint32_t q, std::uint32_t bits) {
  natural power = natural::power_of_two(bits);
  power.multiply(p);
  power.divide(q);
  natural sum = power;
  for (std::uint32_t j = 1; !power.is_zero(); ++j) {
    power.multiply(p);
    power.divide(q);
    power.multiply(p);
    power.divide(q);
    natural term = power;
    term.divide(2 * j + 1);
    sum.add(term);
  }
  return sum;
}

// n/2^s in [1/sqrt 2, sqrt 2) for an odd n < 2^26, and 2^bits ln(n/2^s) as a
// magnitude and a sign, too small in magnitude by less than bits + 4
// (ln u = 2 atanh((u - 1)/(u + 1)), and |u - 1|/(u + 1) <= 0.172).
struct logarithm {
  std::int32_t shift;
  bool negative;
  natural magnitude;
};
logarithm log_of_odd(std::uint32_t n, std::uint32_t bits) {
  auto shift = static_cast<std::int32_t>(std::bit_width(n)) - 1;
  // n / 2^shift is in [1, 2); at sqrt 2 or above, use the next power.
  const std::uint64_t square = static_cast<std::uint64_t>(n) * n;
  if (square >= (std::uint64_t{1} << (2 * shift + 1))) ++shift;
  const std::uint32_t base = std::uint32_t{1} << shift;
  const bool negative = n < base;
  natural magnitude = atanh_fixed(negative ? base - n : n - base, base + n, bits);
  magnitude.shift_left(1);
  return {shift, negative, std::move(magnitude)};
}

// The number of bits past which the loop gives up; see compare_power.
constexpr std::uint32_t most_bits = 1U << 16;

}  // namespace

// The sign of y ln x - ln m, from
//   x = X 2^a, X odd, X/2^sx = u in [1/sqrt 2, sqrt 2), alpha = a + sx;
//   m = C 2^b the same way, beta = b + sm, v = C/2^sm;
//   y = Y 2^f, Y odd; F = max(0, -f), G = max(0, f);
//   2^F (y ln x - ln m) = Y 2^G (alpha ln 2 + ln u) - 2^F (beta ln 2 + ln v),
// every logarithm in fixed point with P fractional bits, each too small by
// less than P + 4 units. The four products then have an error below
//   (P + 4) (|Y| (|alpha| + 1) 2^G + (|beta| + 1) 2^F) < 2^(width(P + 4) + 33 + |f|)
// units (|Y| < 2^24, |alpha|, |beta| <= 150), so a computed sum at least
// that power of two has the sign of the true one. P grows until it does.
int compare_power(float x, float y, double m) noexcept {
  double exact = 0.0;
  if (exact_power(x, y, exact)) return exact > m ? 1 : (exact < m ? -1 : 0);

  std::uint32_t x_odd = 0;
  std::int32_t x_exponent = 0;
  split_float(x, x_odd, x_exponent);
  std::uint32_t y_odd = 0;
  std::int32_t y_exponent = 0;
  split_float(std::fabs(y), y_odd, y_exponent);
  const bool y_negative = y < 0.0f;
  const auto m_bits = std::bit_cast<std::uint64_t>(m);
  std::uint64_t m_significand = (m_bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  auto m_exponent = static_cast<std::int32_t>(m_bits >> 52) - 1075;
  const int m_zeros = std::countr_zero(m_significand);
  m_significand >>= m_zeros;
  m_exponent += m_zeros;
  const auto m_odd = static_cast<std::uint32_t>(m_significand);  // below 2^26

  const std::uint32_t f_magnitude = static_cast<std::uint32_t>(y_exponent < 0 ? -y_exponent : y_exponent);
  const std::uint32_t g_shift = y_exponent > 0 ? f_magnitude : 0;
  const std::uint32_t f_shift = y_exponent < 0 ? f_magnitude : 0;

  for (std::uint32_t bits = 128 + f_magnitude; bits <= most_bits; bits *= 2) {
    natural ln2 = atanh_fixed(1, 3, bits);
    ln2.shift_left(1);
    const logarithm lx = log_of_odd(x_odd, bits);
    const logarithm lm = log_of_odd(m_odd, bits);
    const std::int32_t alpha = x_exponent + lx.shift;
    const std::int32_t beta = m_exponent + lm.shift;

    natural positive;
    natural negative;
    const auto add_term = [&](natural term, std::uint32_t factor, std::uint32_t shift, bool is_negative) {
      term.multiply(factor);
      term.shift_left(shift);
      (is_negative ? negative : positive).add(term);
    };
    // Y 2^G alpha ln 2
    natural alpha_ln2 = ln2;
    alpha_ln2.multiply(static_cast<std::uint32_t>(alpha < 0 ? -alpha : alpha));
    add_term(std::move(alpha_ln2), y_odd, g_shift, y_negative != (alpha < 0));
    // Y 2^G ln u
    add_term(lx.magnitude, y_odd, g_shift, y_negative != lx.negative);
    // -2^F beta ln 2
    add_term(ln2, static_cast<std::uint32_t>(beta < 0 ? -beta : beta), f_shift, beta > 0);
    // -2^F ln v
    add_term(lm.magnitude, 1, f_shift, !lm.negative);

    const int order = positive.compare(negative);
    natural difference = order >= 0 ? positive : negative;
    difference.subtract(order >= 0 ? negative : positive);
    const std::uint64_t bound = static_cast<std::uint64_t>(std::bit_width(bits + 4)) + 33 + f_magnitude;
    if (difference.bit_length() > bound) return order;
  }
  // Not reached for any pair: y ln x - ln m is not zero here (the exact
  // cases are found above), so enough bits decide it; the limit only keeps
  // a defect from turning into an endless loop. Beyond it the pair is
  // taken as a tie.
  return 0;
}

float power_half(float x) noexcept {
  if (x > 0.0f) return std::sqrt(x);  // +inf included
  if (x == 0.0f) return 0.0f;         // pow(-0, 1/2) = +0, where sqrt gives -0
  if (x == -positive_infinity) return positive_infinity;
  return not_a_number();  // x < 0 or NaN
}

namespace {

enum class integer_kind { none, odd, even };

integer_kind kind_of(float y) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(y) & 0x7fffffffU;
  const auto biased = static_cast<std::int32_t>(bits >> 23);
  if (biased < 127) return integer_kind::none;      // 0 < |y| < 1
  if (biased >= 151) return integer_kind::even;     // |y| >= 2^24
  const std::int32_t fraction_bits = 150 - biased;  // 0..23
  const std::uint32_t significand = (bits & 0x7fffffU) | 0x800000U;
  if ((significand & ((std::uint32_t{1} << fraction_bits) - 1)) != 0) return integer_kind::none;
  return ((significand >> fraction_bits) & 1U) != 0 ? integer_kind::odd : integer_kind::even;
}

// The float value of the encoding b, 0 <= b <= the encoding of +inf, with
// +inf standing for 2^128 (the top of the rounding range).
double value_of(std::uint32_t b) noexcept {
  return b == infinity_bits ? 0x1p128 : static_cast<double>(std::bit_cast<float>(b));
}

// |x|^y correctly rounded, for x a positive finite float other than 1 and
// y finite and non-zero.
float positive_power(float x, float y) noexcept {
  double lh = 0.0;
  double ll = 0.0;
  log2_of(x, lh, ll);
  const double yd = y;
  const double th = yd * lh;
  // Past +-160 the result overflows, or is below 2^-159, under half the
  // smallest subnormal: the error of th is far below 1.
  if (th > 160.0) return positive_infinity;
  if (th < -160.0) return 0.0f;
  // |tl| <= 2^-53 |th| + |y ll| + ... <= 2^-51.9 |t| <= 2^-44.5, and
  // th + tl = y (lh + ll) (1 + 2^-104): the relative error of log2 x,
  // 2^-64.42, makes an absolute error of at most 160 * 2^-64.4 = 2^-57.08 in
  // the exponent, 2^-57.6 relative in the result. With exp2_of's 2^-52.94:
  // |v - x^y| <= 2^-52.88 x^y.
  const double tl = std::fma(yd, lh, -th) + yd * ll;
  const double v = exp2_of(th, tl);

  const auto r = static_cast<float>(v);
  const auto b = std::bit_cast<std::uint32_t>(r);
  // 2^-47 v is over 2^5 times the error bound, so when both neighbouring
  // midpoints are further than that from v, x^y rounds like v. v - m is
  // exact when m is within a factor of 2 of v (Sterbenz); otherwise it is
  // over v/2 and so is its rounded value: the comparisons are exact.
  const double margin = v * 0x1p-47;
  std::uint32_t below = 0;
  std::uint32_t above = 0;
  double midpoint = 0.0;
  if (b != 0 && v - 0.5 * (value_of(b - 1) + value_of(b)) <= margin) {
    below = b - 1;
    above = b;
    midpoint = 0.5 * (value_of(b - 1) + value_of(b));
  } else if (b != infinity_bits && 0.5 * (value_of(b) + value_of(b + 1)) - v <= margin) {
    below = b;
    above = b + 1;
    midpoint = 0.5 * (value_of(b) + value_of(b + 1));
  } else {
    return r;
  }
  const int order = compare_power(x, y, midpoint);
  if (order > 0) return std::bit_cast<float>(above);
  if (order < 0) return std::bit_cast<float>(below);
  // A tie: the conversion rounds it to the even neighbour (2^128 - 2^103 to
  // +inf, 2^-150 to +0).
  return static_cast<float>(midpoint);
}

}  // namespace

float correctly_rounded_pow(float x, float y) noexcept {
  const auto x_bits = std::bit_cast<std::uint32_t>(x);
  const auto y_bits = std::bit_cast<std::uint32_t>(y);
  const std::uint32_t x_magnitude = x_bits & 0x7fffffffU;
  const std::uint32_t y_magnitude = y_bits & 0x7fffffffU;
  constexpr std::uint32_t one_bits = 0x3f800000U;

  if (y_magnitude == 0) return 1.0f;    // pow(x, +-0) = 1, even for a NaN x
  if (x_bits == one_bits) return 1.0f;  // pow(+1, y) = 1, even for a NaN y
  if (x_magnitude > infinity_bits || y_magnitude > infinity_bits) return not_a_number();
  if (y_magnitude == infinity_bits) {
    if (x_magnitude == one_bits) return 1.0f;  // pow(-1, +-inf) = 1
    // |x| < 1 (zeros included) to -inf and |x| > 1 to +inf give +inf.
    return (x_magnitude > one_bits) == (y > 0.0f) ? positive_infinity : 0.0f;
  }
  const integer_kind kind = kind_of(y);
  const bool negative_x = (x_bits >> 31) != 0;
  // The result is negative only for a negative x and an odd integer y.
  const float sign = negative_x && kind == integer_kind::odd ? -1.0f : 1.0f;
  if (x_magnitude == 0) return y < 0.0f ? sign * positive_infinity : sign * 0.0f;
  if (x_magnitude == infinity_bits) return y < 0.0f ? sign * 0.0f : sign * positive_infinity;
  if (negative_x && kind == integer_kind::none) return not_a_number();
  if (x_magnitude == one_bits) return sign;  // (-1)^integer
  return sign * positive_power(std::fabs(x), y);
}

}  // namespace orvik::detail
