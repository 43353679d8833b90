# The library's test suites, one program per family. KTZ_SUITE_<suite>
# lists the sources that run on both targets: they drive the exported
# functions and the lab (ktz3649sim.h) and read the device record through
# the handle, so that built for Windows they run against Ktz3649.dll under
# Wine. KTZ_SUITE_<suite>_HOST lists those that need the host's own
# controls (hostwin.h) or reach an internal function whose only effect is
# timing; they run on the host only.
set(KTZ_SUITES core ai ao dio counter fai events fao properties config sweep stream)

set(KTZ_SUITE_core core/device_test.cpp core/lifetime_test.cpp core/ports_test.cpp
    core/result_text.c core/result_text_test.cpp)
set(KTZ_SUITE_ai ai/ai_test.cpp ai/mai_test.cpp)
set(KTZ_SUITE_ao ao/ao_test.cpp)
set(KTZ_SUITE_dio dio/dio_test.cpp)
set(KTZ_SUITE_counter counter/card_counters_test.cpp counter/counter_sequences_test.cpp
    counter/counter_lab_test.cpp counter/counter_threads_test.cpp)
set(KTZ_SUITE_fai fai/fai_start_test.cpp fai/fai_transfer_test.cpp fai/fai_run_test.cpp)
set(KTZ_SUITE_events events/event_test.cpp events/event_threads_test.cpp)
set(KTZ_SUITE_fao fao/fao_start_test.cpp fao/fao_run_test.cpp)
set(KTZ_SUITE_fao_HOST fao/fao_drain_test.cpp)
set(KTZ_SUITE_properties properties/features_test.cpp properties/properties_test.cpp
    properties/driver_proc_test.cpp)
# The settings reader and writer and the service registration are internal
# by design: the Windows program links them in (tests/wine/CMakeLists.txt).
set(KTZ_SUITE_config config/service_test.cpp config/settings_test.cpp)
set(KTZ_SUITE_config_HOST config/service_host_test.cpp)
# Every operation that sends a request, with each of its requests failing.
set(KTZ_SUITE_sweep sweep/request_failure_sweep.cpp)
# A recording without end through the panel's recorder (ktz_stream).
set(KTZ_SUITE_stream stream/stream_test.cpp)

foreach(suite IN LISTS KTZ_SUITES)
  list(TRANSFORM KTZ_SUITE_${suite} PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  list(TRANSFORM KTZ_SUITE_${suite}_HOST PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
endforeach()
