#pragma once
// ntdll's NtCreateSection entry stub, whose "mov eax, imm32" carries the system-service number.
//  x86:  B8 imm32          mov eax, imm32            -> operand at byte 1
//  x64:  4C 8B D1 B8 imm32 mov r10, rcx; mov eax, imm32 -> operand at byte 4
// The bytes before the operand are checked: a stub that begins otherwise (patched, or a system
// that lays it out differently) carries no number the driver could use. winsim simulates the
// product's 32-bit ntdll.
#include <array>
#include <cstdint>

#if defined(_WIN64)
inline constexpr std::array<std::uint8_t, 4> kServiceStubPrefix = {0x4C, 0x8B, 0xD1, 0xB8};
#else
inline constexpr std::array<std::uint8_t, 1> kServiceStubPrefix = {0xB8};
#endif
// The operand follows the prefix.
inline constexpr std::size_t kServiceNumberOffset = kServiceStubPrefix.size();
