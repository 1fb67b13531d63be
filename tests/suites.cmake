# Test suites of the engine, agent and other subsystems: one kv_test_suite line each.
kv_test_suite(engine_tests engine LINK kvengine DEPENDS ${KV_DELIVERABLES})
kv_test_suite(agent_tests agent DEPENDS ${KV_DELIVERABLES})
add_executable(TestService ${CMAKE_CURRENT_SOURCE_DIR}/service_fixture/TestService.cpp)
target_link_libraries(TestService PRIVATE kvplatform)
set_target_properties(TestService PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/service_fixture)
target_compile_definitions(platform_tests PRIVATE KV_TEST_SERVICE="$<TARGET_FILE:TestService>")
add_dependencies(platform_tests TestService kvsc)
