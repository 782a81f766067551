#pragma once
// Where the system-service number sits in ntdll's NtCreateSection entry stub.
//  x86:  B8 imm32          mov eax, imm32            -> operand at byte 1
//  x64:  4C 8B D1 B8 imm32 mov r10, rcx; mov eax, imm32 -> operand at byte 4
// winsim simulates the product's 32-bit ntdll.
#include <cstddef>

#if defined(_WIN64)
inline constexpr std::size_t kServiceNumberOffset = 4;
#else
inline constexpr std::size_t kServiceNumberOffset = 1;
#endif
