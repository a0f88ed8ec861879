# Configures for 64-bit Windows with an MSVC-style compiler: clang-cl and
# lld-link, as Visual Studio's cl and link would be used. Without the MSVC
# headers and libraries nothing can be built with it here; scripts/check.sh
# generates the build and checks the options every target gets.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER clang-cl-14)
set(CMAKE_CXX_COMPILER clang-cl-14)
set(CMAKE_LINKER lld-link)
set(CMAKE_AR llvm-lib-14)
set(CMAKE_RC_COMPILER llvm-rc-14)
set(CMAKE_MT llvm-mt-14)
# No C runtime to link a test program against: compile checks only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
