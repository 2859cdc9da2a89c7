# Win32 backend: kernel, shell (argument splitting, path canonicalisation)
# and CryptoAPI from advapi32.
target_sources(quillmar_core PRIVATE
  platform/win32/platform_win32.cpp
  platform/win32/long_path.cpp)
target_compile_definitions(quillmar_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
target_link_libraries(quillmar_core PUBLIC shlwapi shell32 advapi32)
# One self-contained program: no libgcc, libstdc++ or winpthread DLL beside it.
target_link_options(quillmar_core INTERFACE -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
