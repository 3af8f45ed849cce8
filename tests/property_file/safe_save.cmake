# Safe save tests and fault injection.
quorvel_test(safe_save_tests safe_save_test.cpp)
target_link_libraries(safe_save_tests PRIVATE property_file)
