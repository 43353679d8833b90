# The examples run on the lab, as a user runs them: exit code 0 and what
# they print. Host: example_<name>; Windows: wine_example_<name> under Wine
# with the lab driver, one test case each in the `wine: N passed` line.
include(${PROJECT_SOURCE_DIR}/cmake/program_test.cmake)

# Each expected value within two codes of what the lab puts in.
set(expect_read_voltage [[input channel 3 \(\+/-5 V\): 2\.50[0-9] V]])
set(expect_scan_channels
  [[input channel 0 \(\+/-5 V\): (1\.49[89]|1\.50[0-2]) V]]
  [[input channel 1 \(\+/-10 V\): -(7\.49[5-9]|7\.50[0-5]) V]]
  [[input channel 2 \(0 to 10 V\): (5\.99[7-9]|6\.00[0-3]) V]]
  [[input channel 3 \(\+/-2\.5 V\): (0\.99[89]|1\.00[0-2]) V]])
set(expect_write_output [[7\.50 V, code 3072]] [[lab: analog output 0 drives 7\.50[0-9] V]])
set(expect_digital_lines [[port 0 drives 0xA7]] [[port 1 reads 0x3C, line 2 is high]]
    [[lab: port 0 drives 0xA7]])
set(expect_count_events [[read 5: [1-9][0-9]* events]] [[counter 0 counted [1-9][0-9]* events]])
set(expect_measure_frequency [[counter 2 input: 250000 Hz]])
set(expect_acquire_csv [[acquired 1000 scans of 2 channels into acquisition\.csv]]
    [[ch0: -(3\.99[0-9]|4\.00[0-9]) V to (3\.99[0-9]|4\.00[0-9]) V]]
    [[ch1: -(1\.99[0-9]|2\.00[0-9]) V to -(1\.99[0-9]|2\.00[0-9]) V]])
set(expect_about_trigger
    [[sample 1499 -(3\.99[0-9]|4\.00[0-9]) V, sample 1500 \(the trigger\) (3\.99[0-9]|4\.00[0-9]) V]])
set(expect_waveform_output [[output ended: 4096 of 4096 samples played, 0 left in the FIFO]]
    [[lab: output 0 played 4096 samples from -(7\.99|8\.0[0-9]) V to (7\.99|8\.0[0-9]) V]])
set(expect_stream [[recorded [0-9]+ samples in [0-9]+ halves, [0-9]+ overruns, 0 halves lost into stream\.raw]]
    [[lab: stream\.raw holds [0-9]+ scans, channel 0 counts on with 0 breaks]])

set(wine "")
set(prefix example_)
if(WIN32)
  set(wine WINE)
  set(prefix wine_example_)
endif()
foreach(example IN LISTS KTZ_EXAMPLES)
  ktz_add_program_test(${prefix}${example} ${wine} COMMAND example_${example}
                       EXPECT ${expect_${example}})
  if(TEST ${prefix}${example})
    set_tests_properties(${prefix}${example} PROPERTIES WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
endforeach()
