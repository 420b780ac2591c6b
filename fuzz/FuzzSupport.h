#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Shared pieces of the fuzz harnesses.

// Every harness links FuzzSupport.cpp, whose LLVMFuzzerInitialize starts the Qt application
// object the parsers need (rich-text documents use fonts, so a QGuiApplication on the offscreen
// platform) before the first input.

// Stops the run with a message when a property of the code under test does not hold. libFuzzer
// treats the abort as a finding and writes the input that caused it.
#define FUZZ_CHECK(condition, message)                                                 \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "fuzz check failed: %s (%s)\n", message, #condition); \
            std::abort();                                                              \
        }                                                                              \
    } while (false)
