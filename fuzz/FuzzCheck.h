#pragma once

// A promise of the code under test that the input broke: libFuzzer keeps the input that led here.
inline void check(bool condition) {
  if (!condition) __builtin_trap();
}
