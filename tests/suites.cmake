# Test suites of the engine, agent and other subsystems: one kv_test_suite line each.
kv_test_suite(engine_tests engine LINK kvengine DEPENDS ${KV_DELIVERABLES})
kv_test_suite(agent_tests agent DEPENDS ${KV_DELIVERABLES})
