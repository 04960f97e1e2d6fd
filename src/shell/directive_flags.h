// Bits of the directive flags word: the defaults stored with the program, and the main
// dialog's option state, which the dialog writes back before every run.
#pragma once

#include <cstdint>

constexpr uint16_t kDirectiveRecreateDirectories = 0x0001;
constexpr uint16_t kDirectiveOverwriteAlways = 0x0004;
constexpr uint16_t kDirectiveOverwriteNever = 0x0008;
constexpr uint16_t kDirectiveShowMessages = 0x0010;
constexpr uint16_t kDirectiveCreateGroups = 0x0100;
constexpr uint16_t kDirectiveRegisterExtensions = 0x0400;
