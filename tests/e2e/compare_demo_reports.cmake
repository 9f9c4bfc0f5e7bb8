# Compares a cross-built program's demo report with the one a native build writes now: the same
# engine over the same simulated instance must give the same bytes. Only the report's creation
# time (its top and bottom lines) may differ.
#   cmake -DREPORT=demo.htm -DHOST_COMMAND=.../quorvane-report -DWORK=folder
#         -P compare_demo_reports.cmake
set(host_report ${WORK}/demo-host.htm)
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${HOST_COMMAND} --demo
                        --output ${host_report}
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status EQUAL 1)
  message(FATAL_ERROR "the native demo report failed (exit status '${status}')")
endif()

function(normalise source target)
  file(READ ${source} text)
  string(REGEX REPLACE "Report created on [^<]* by " "Report created on TIME by " text "${text}")
  file(WRITE ${target} "${text}")
endfunction()
normalise(${REPORT} ${WORK}/demo-compared.htm)
normalise(${host_report} ${WORK}/demo-host-compared.htm)

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/demo-host-compared.htm
                        ${WORK}/demo-compared.htm
                RESULT_VARIABLE differ)
if(differ)
  execute_process(COMMAND diff ${WORK}/demo-host-compared.htm ${WORK}/demo-compared.htm
                  OUTPUT_VARIABLE difference)
  string(SUBSTRING "${difference}" 0 4000 difference)
  message(FATAL_ERROR "the reports differ beyond their creation time:\n${difference}")
endif()
message("the native build's report, byte for byte, creation time aside")
