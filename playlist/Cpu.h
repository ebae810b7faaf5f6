#pragma once

// What the processor offers beyond the compiler's baseline, asked once: the
// few kernels that run over every byte of the input take wider vectors
// where there are any.
namespace dorvane::cpu {

// x86-64 with AVX2; false on any other processor or compiler.
bool hasAvx2();

} // namespace dorvane::cpu
