# 查找内容相同的文件 hashes file contents with XXH3-128 from xxHash, on
# several reader threads.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XXHASH REQUIRED IMPORTED_TARGET libxxhash)
target_link_libraries(kestrune_core PUBLIC PkgConfig::XXHASH)
find_package(Threads REQUIRED)
target_link_libraries(kestrune_core PUBLIC Threads::Threads)
