# Test suites of the engine, agent and other subsystems: one kv_test_suite line each.
kv_test_suite(engine_tests engine LINK kvengine DEPENDS ${KV_DELIVERABLES})
kv_test_suite(agent_tests agent DEPENDS ${KV_DELIVERABLES})
add_executable(TestService ${CMAKE_CURRENT_SOURCE_DIR}/service_fixture/TestService.cpp)
target_link_libraries(TestService PRIVATE kvplatform)
set_target_properties(TestService PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/service_fixture)
target_compile_definitions(platform_tests PRIVATE KV_TEST_SERVICE="$<TARGET_FILE:TestService>")
add_dependencies(platform_tests TestService kvsc)
add_dependencies(platform_tests kvevent)
add_library(FakeOrvEngine SHARED ${CMAKE_CURRENT_SOURCE_DIR}/agent_fixture/FakeEngine.cpp)
set_target_properties(FakeOrvEngine PROPERTIES OUTPUT_NAME OrvEngine PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/fake_engine)
add_library(kvagentharness STATIC ${CMAKE_CURRENT_SOURCE_DIR}/agent_fixture/AgentHarness.cpp)
target_link_libraries(kvagentharness PUBLIC kvtestfixtures)
target_compile_definitions(kvagentharness PRIVATE KV_FAKE_ENGINE_DIR="${CMAKE_BINARY_DIR}/tests/fake_engine")
add_dependencies(kvagentharness KvAgent FakeOrvEngine kvsc OrvRes409 OrvRes407 TslText)
if(TARGET agent_tests)
  target_link_libraries(agent_tests PRIVATE kvagentharness)
endif()
kv_test_suite(e2e_tests e2e DEPENDS ${KV_DELIVERABLES} KvAgent OrvEngine kvsc kvevent kvwait)
kv_test_suite(install_tests install DEPENDS deliverables)
add_library(TestComServer SHARED ${CMAKE_CURRENT_SOURCE_DIR}/com_fixture/TestComServer.cpp)
target_link_libraries(TestComServer PRIVATE kvplatform)
set_target_properties(TestComServer PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/com_server)
kv_test_suite(com_tests com LINK kvcom DEPENDS kvregsvr32 kvreg TestComServer OrvRes409)
target_compile_definitions(com_tests PRIVATE KV_TEST_COM_SERVER="$<TARGET_FILE:TestComServer>")
kv_test_suite(console_tests console LINK kvconsole kvmmcweb DEPENDS ${KV_DELIVERABLES} OrvConsole Vireo kvregsvr32)
kv_test_suite(shell_tests shell LINK kvshell DEPENDS kvreg)
# The window model, with dialog templates in a module of their own as a
# snap-in carries them.
kv_dialog_table_source(KV_UI_TEST_DIALOG_TABLE ${CMAKE_CURRENT_SOURCE_DIR}/ui/dialogs/TestDialogs.dlg)
add_library(UiTestDialogs SHARED ${KV_UI_TEST_DIALOG_TABLE})
set_target_properties(UiTestDialogs PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/ui_dialogs)
kv_test_suite(ui_tests ui LINK kvuser DEPENDS UiTestDialogs rcgen)
if(TARGET ui_tests)
  target_compile_definitions(ui_tests PRIVATE
    KV_UI_TEST_DIALOGS="$<TARGET_FILE:UiTestDialogs>" KV_RCGEN="$<TARGET_FILE:rcgen>")
endif()
kv_test_suite(taskscheduler_tests taskscheduler LINK kvshell DEPENDS deliverables)
# The stand-ins' own tests, and the agent's, which read the service database
# the service manager keeps, look inside platform/.
target_compile_definitions(platform_tests PRIVATE KV_PLATFORM_INTERNAL)
target_compile_definitions(kvagentharness PRIVATE KV_PLATFORM_INTERNAL)
if(TARGET agent_tests)
  target_compile_definitions(agent_tests PRIVATE KV_PLATFORM_INTERNAL)
endif()
# The console host: a small snap-in of its own, unit tests of the host's
# parts, the access checks over HTTP and the page driven in a real browser.
kv_dialog_table_source(kv_test_snapin_dialogs ${CMAKE_CURRENT_SOURCE_DIR}/mmc_fixture/TestSnapin.dlg)
add_library(KvTestSnapin SHARED ${CMAKE_CURRENT_SOURCE_DIR}/mmc_fixture/TestSnapin.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/mmc_fixture/FileListHooks.cpp ${kv_test_snapin_dialogs})
target_link_libraries(KvTestSnapin PRIVATE kvmmcapi kvcom kvuser kvplatform)
set_target_properties(KvTestSnapin PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/mmc_snapin)
kv_test_suite(mmc_tests mmc LINK kvmmcweb DEPENDS KvTestSnapin kvmmc kvregsvr32 kvreg)
set(KV_MMC_WEB_TEST_ENV
  KV_BIN_DIR=${KV_BIN_DIR}
  KV_TEST_SNAPIN=$<TARGET_FILE:KvTestSnapin>
  KV_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots
  KV_SOURCE_DIR=${CMAKE_SOURCE_DIR})
# One check of the queued job, for page tests that end with the engine.
add_executable(KvTestRunCheck ${CMAKE_CURRENT_SOURCE_DIR}/engine_fixture/RunOneCheck.cpp)
target_link_libraries(KvTestRunCheck PRIVATE kvplatform)
set_target_properties(KvTestRunCheck PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/engine_fixture)
list(APPEND KV_MMC_WEB_TEST_ENV KV_RUN_CHECK=$<TARGET_FILE:KvTestRunCheck>)
foreach(script access_test console_page_test scan_job_console_test report_console_test
               result_list_hooks_test scan_job_pages_test file_tree_console_test
               settings_pages_test admin_walk_test)
  add_test(NAME mmc_web.${script} COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/mmc_web/${script}.py)
  set_tests_properties(mmc_web.${script} PROPERTIES ENVIRONMENT "${KV_MMC_WEB_TEST_ENV}" TIMEOUT 300 SKIP_RETURN_CODE 77)
endforeach()
