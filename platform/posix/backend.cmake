# POSIX backend: the system's threads and OpenSSL's libcrypto.
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_sources(quillmar_core PRIVATE
  platform/posix/platform_posix.cpp
  platform/posix/long_path.cpp)
target_link_libraries(quillmar_core PUBLIC OpenSSL::Crypto Threads::Threads)
