# The recording run writes its records through the SQLite connection under
# Qt's SQLite driver.
find_package(SQLite3 REQUIRED)
target_link_libraries(kestrune_core PUBLIC SQLite::SQLite3)
# A recording run reads the files on one thread and stores them on another.
find_package(Threads REQUIRED)
target_link_libraries(kestrune_core PUBLIC Threads::Threads)
