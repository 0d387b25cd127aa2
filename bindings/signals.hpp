#pragma once
// Ctrl-C inside long loops.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

namespace quelmar::py {

// Whether a signal handler raised (Ctrl-C: KeyboardInterrupt), asked on
// every `every`-th step of a long loop so that the loop stops within a few
// milliseconds; true with the handler's exception set. `every` is a power
// of two.
inline bool signal_raised(std::size_t step, std::size_t every) {
  return (step & (every - 1)) == every - 1 && PyErr_CheckSignals() < 0;
}

}  // namespace quelmar::py
