# Runs "quorvane-report --demo" as a user would and checks its outcome: the demo instance has one
# database that goes offline during the walk, so the command ends with exactly one exception
# (exit status 1) and a complete report, and its snapshot beside it.
#   cmake -DREPORT_COMMAND=... -DOUTPUT=... -DSNAPSHOT=... [-DEMULATOR=...]
#         -P check_demo_report.cmake
execute_process(COMMAND ${EMULATOR} ${REPORT_COMMAND} --demo --output ${OUTPUT} --json ${SNAPSHOT}
                RESULT_VARIABLE status OUTPUT_VARIABLE summary ERROR_VARIABLE progress)
message("${progress}${summary}")
if(NOT status EQUAL 1)
  message(FATAL_ERROR "expected exit status 1 (one exception), got '${status}'")
endif()
if(NOT summary MATCHES "with 1 exception\\(s\\)")
  message(FATAL_ERROR "the summary does not report the one exception")
endif()
file(READ ${OUTPUT} report)
foreach(part "<a name=\"PageBottom\"></a>" "</body>" "</html>" "<h1>QUORVANE-DEMO</h1>")
  string(FIND "${report}" "${part}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the report lacks ${part}")
  endif()
endforeach()
if(NOT EXISTS ${SNAPSHOT})
  message(FATAL_ERROR "the snapshot was not written")
endif()
