# The hardening that Debian builds its packages with (dpkg-buildflags with hardening=+all, less
# what the compiler already does by default), set here so that every build has it: `make run`,
# `make test` and `make package` alike, not only a build that happens to pass the flags in.
#   - _FORTIFY_SOURCE=2: glibc checks the sizes of buffers that string and memory calls write,
#     where the compiler knows them. It needs optimisation, so a Debug build goes without it
#     (glibc would warn on every file otherwise).
#   - -fstack-protector-strong: a canary guards every function with a local array or an address
#     taken of a local.
#   - Full RELRO with bind-now: all symbols are resolved at start, and the relocated tables are
#     then read-only, so a stray write cannot redirect a library call.
#   - Position independent executable, so that the program's own code is placed at random.
# The fuzz build leaves them out: AddressSanitizer checks more than the fortified calls do, and
# its interceptors do not expect them. The ThreadSanitizer build leaves them out too: it
# intercepts the plain calls (memcpy and the like), and the copies of their fortified forms
# would go unchecked.

if(TARVEX_FUZZ OR TARVEX_TSAN)
    return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# -U first: a build that brings its own _FORTIFY_SOURCE (a distribution's CPPFLAGS) does not get
# a redefinition warning.
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
                    -fstack-protector-strong)
add_link_options(LINKER:-z,relro LINKER:-z,now)
