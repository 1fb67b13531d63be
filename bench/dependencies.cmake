# Libraries benchmarks compare against (for example OpenSSL's MD5). One block each.
find_package(OpenSSL REQUIRED)
target_link_libraries(md5_bench PRIVATE OpenSSL::Crypto)
target_link_libraries(agent_idle_bench PRIVATE kvagentharness)
target_link_libraries(result_list_draw_bench PRIVATE kvuser)
