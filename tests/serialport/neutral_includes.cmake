# Checks that the component's neutral sources compile without an operating-system header: every
# file under serialport/ outside posix/, win32/ and the platform files (names ending in _posix,
# _linux or _win32), together with every project header it includes, directly or through other
# headers, includes only C++ standard library headers and no platform file.
#
#   cmake -DROOT=<source dir> -P neutral_includes.cmake
cmake_minimum_required(VERSION 3.25)

set(StandardHeaders
  algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv
  chrono cinttypes climits clocale cmath codecvt compare complex concepts condition_variable
  coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar
  cwctype deque exception execution filesystem format forward_list fstream functional future
  initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map
  memory memory_resource mutex new numbers numeric optional ostream queue random ranges ratio
  regex scoped_allocator semaphore set shared_mutex source_location span sstream stack
  stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
  type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector
  version)

set(PlatformPattern "(/posix/|_posix\\.|_linux\\.|_win32\\.|/win32/)")

function(is_platform Path Result)
  if(Path MATCHES "${PlatformPattern}")
    set(${Result} TRUE PARENT_SCOPE)
  else()
    set(${Result} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Problems of one file and of the project headers it includes, each visited once; Chain says
# through which files the current one was reached.
function(check_file Path Chain)
  get_property(Seen GLOBAL PROPERTY NeutralSeen)
  if(Path IN_LIST Seen)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY NeutralSeen "${Path}")
  if(NOT EXISTS "${ROOT}/${Path}")
    set_property(GLOBAL APPEND PROPERTY NeutralProblems "${Chain}${Path}: no such file")
    return()
  endif()
  file(STRINGS "${ROOT}/${Path}" Lines REGEX "^[ \t]*#[ \t]*include")
  foreach(Line IN LISTS Lines)
    if(Line MATCHES "include[ \t]*<([^>]+)>")
      set(Header "${CMAKE_MATCH_1}")
      if(NOT Header IN_LIST StandardHeaders)
        set_property(GLOBAL APPEND PROPERTY NeutralProblems
                     "${Chain}${Path}: includes the system header <${Header}>")
      endif()
    elseif(Line MATCHES "include[ \t]*\"([^\"]+)\"")
      set(Header "${CMAKE_MATCH_1}")
      is_platform("${Header}" Platform)
      if(Platform)
        set_property(GLOBAL APPEND PROPERTY NeutralProblems
                     "${Chain}${Path}: includes the platform header \"${Header}\"")
      else()
        check_file("${Header}" "${Chain}${Path} -> ")
      endif()
    endif()
  endforeach()
endfunction()

file(GLOB_RECURSE Sources RELATIVE "${ROOT}" "${ROOT}/serialport/*.h" "${ROOT}/serialport/*.cpp")
list(SORT Sources)
set(Checked 0)
foreach(Source IN LISTS Sources)
  is_platform("${Source}" Platform)
  if(Platform)
    continue()
  endif()
  math(EXPR Checked "${Checked} + 1")
  set_property(GLOBAL PROPERTY NeutralSeen "")
  check_file("${Source}" "")
endforeach()

get_property(Problems GLOBAL PROPERTY NeutralProblems)
list(REMOVE_DUPLICATES Problems)
if(Checked EQUAL 0)
  message(FATAL_ERROR "no neutral source found below ${ROOT}/serialport")
endif()
if(Problems)
  list(JOIN Problems "\n  " Text)
  message(FATAL_ERROR "neutral sources that need the operating system:\n  ${Text}")
endif()
message(STATUS "${Checked} neutral sources include the C++ standard library only")
