# Safe save tests and fault injection.
quorvel_test(safe_save_tests safe_save_test.cpp)
target_link_libraries(safe_save_tests PRIVATE property_file)

# Fault injection (Linux only): strace makes every file-system call of a save fail or kills the
# save there, then the files are checked. Needs strace and setpriv (util-linux).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_executable(save_fault_check fault_injection/save_fault_check.cpp)
  target_link_libraries(save_fault_check PRIVATE property_file)
  quorvel_warnings(save_fault_check)
  add_test(NAME SafeSave.FaultInjection COMMAND save_fault_check)
  set_tests_properties(SafeSave.FaultInjection PROPERTIES TIMEOUT 300)
endif()
