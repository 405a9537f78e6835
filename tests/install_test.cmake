# Installs the build into a fresh temporary prefix and checks what arrived:
# the programs, the library, only the public header, the CMake package and
# the manual pages. Then configures, builds and runs examples/ as a separate
# project that finds zub with find_package, and compares its itemsets with
# the installed zub-mine's; the installed zub runs too.
# Arguments (-D): BUILD_DIR SOURCE_DIR GENERATOR MAKE_PROGRAM CXX BUILD_TYPE.
cmake_minimum_required(VERSION 3.20)

# Runs a command; fails the test unless it exits with 0. Leaves its standard
# output in run_out.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                  WORKING_DIRECTORY ${root})
  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}\n(left in ${root})")
  endif()
  set(run_out "${out}" PARENT_SCOPE)
endfunction()

# Itemset lines "a b c (s)" as a sorted list of lines with sorted items.
function(normalise text out_var)
  string(REPLACE "\n" ";" lines "${text}")
  set(result "")
  foreach(line IN LISTS lines)
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^([0-9 ]*)\\(([0-9]+)\\)$")
      message(FATAL_ERROR "not an itemset line: '${line}'")
    endif()
    set(support ${CMAKE_MATCH_2})
    separate_arguments(items UNIX_COMMAND "${CMAKE_MATCH_1}")
    list(SORT items COMPARE NATURAL)
    list(JOIN items " " items)
    list(APPEND result "${items} (${support})")
  endforeach()
  list(SORT result)
  set(${out_var} "${result}" PARENT_SCOPE)
endfunction()

set(tmp /tmp)
if(DEFINED ENV{TMPDIR})
  set(tmp $ENV{TMPDIR})
endif()
string(RANDOM LENGTH 12 tag)
set(root ${tmp}/zub-install-test-${tag})
set(prefix ${root}/prefix)
file(MAKE_DIRECTORY ${root})

run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/zub bin/zub-mine share/man/man1/zub.1 share/man/man1/zub-mine.1)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*)
if(NOT headers STREQUAL "zub/zub.h")
  message(FATAL_ERROR "installed headers: '${headers}', expected zub/zub.h alone")
endif()
file(GLOB_RECURSE library ${prefix}/*/libzub.a)
file(GLOB_RECURSE package ${prefix}/*/zubConfig.cmake)
if(NOT library OR NOT package)
  message(FATAL_ERROR "library '${library}' or package '${package}' not installed")
endif()

run("configuring the consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${root}/consumer -G ${GENERATOR}
    -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    -DCMAKE_PREFIX_PATH=${prefix})
run("building the consumer" ${CMAKE_COMMAND} --build ${root}/consumer)

set(sample ${SOURCE_DIR}/examples/sample.dat)
foreach(target maximal closed all)
  run("list_itemsets ${target}" ${root}/consumer/list_itemsets ${sample} 0.2 ${target})
  normalise("${run_out}" from_api)
  run("zub-mine ${target}" ${prefix}/bin/zub-mine --target ${target} ${sample} 20%)
  normalise("${run_out}" from_program)
  list(LENGTH from_api count)
  if(count EQUAL 0 OR NOT from_api STREQUAL from_program)
    message(FATAL_ERROR "${target}: the consumer wrote\n${from_api}\nzub-mine wrote\n${from_program}")
  endif()
  message(STATUS "${target}: ${count} itemsets alike")
endforeach()

run("zub" ${prefix}/bin/zub ${sample} 8 ${root}/zub.out)
run("zub-mine" ${prefix}/bin/zub-mine --threads 1 ${sample} 8)  # zub's order: one thread
file(READ ${root}/zub.out from_zub)
if(NOT from_zub STREQUAL run_out OR from_zub STREQUAL "")
  message(FATAL_ERROR "zub wrote\n${from_zub}\nzub-mine wrote\n${run_out}")
endif()

file(REMOVE_RECURSE ${root})
