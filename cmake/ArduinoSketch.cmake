# Sketches built for an Arduino Uno (ATmega328P at 16 MHz) without an IDE: the
# AVR toolchain and the Arduino core as Debian packs them, with the flags of
# the core's platform.txt, link-time optimisation included, as the IDE uses.
#
# ARDUINO_SKETCHES_MISSING is empty when sketches can be built, or says what
# is missing.
find_program(AVR_GCC avr-gcc)
find_program(AVR_GXX avr-g++)
find_program(AVR_GCC_AR avr-gcc-ar)
find_program(AVR_SIZE avr-size)
set(ARDUINO_CORE_DIR /usr/share/arduino/hardware/arduino/avr CACHE PATH
    "The Arduino AVR core: cores/arduino and variants/standard")

set(ARDUINO_SKETCHES_MISSING "")
if(NOT AVR_GCC OR NOT AVR_GXX OR NOT AVR_GCC_AR OR NOT AVR_SIZE)
  set(ARDUINO_SKETCHES_MISSING "no AVR toolchain: apt-get install gcc-avr avr-libc binutils-avr")
elseif(NOT EXISTS ${ARDUINO_CORE_DIR}/cores/arduino/Arduino.h)
  set(ARDUINO_SKETCHES_MISSING
      "no Arduino core at ${ARDUINO_CORE_DIR}: apt-get install arduino-core-avr")
endif()

if(ARDUINO_SKETCHES_MISSING STREQUAL "")
  set(arduino_target -mmcu=atmega328p -DF_CPU=16000000L -DARDUINO=10819 -DARDUINO_AVR_UNO -DARDUINO_ARCH_AVR
      -I${ARDUINO_CORE_DIR}/cores/arduino -I${ARDUINO_CORE_DIR}/variants/standard)
  # The core builds with the IDE's default of no warnings; our library and
  # sketches add every warning as an error.
  set(arduino_c_flags -c -Os -w -std=gnu11 -ffunction-sections -fdata-sections -flto
      -fno-fat-lto-objects ${arduino_target})
  set(arduino_cxx_flags -c -Os -w -std=gnu++11 -fpermissive -fno-exceptions -ffunction-sections
      -fdata-sections -fno-threadsafe-statics -Wno-error=narrowing -flto ${arduino_target})
  set(arduino_asm_flags -c -x assembler-with-cpp -flto ${arduino_target})
  set(arduino_link_flags -Os -flto -fuse-linker-plugin -Wl,--gc-sections -mmcu=atmega328p)

  # The core, once for every sketch. WString.cpp is left out: Debian's avr-libc
  # lacks the DECIMAL_DIG it needs, and no sketch of ours uses String.
  set(core_dir ${CMAKE_BINARY_DIR}/arduino/core)
  file(GLOB core_sources ${ARDUINO_CORE_DIR}/cores/arduino/*.c ${ARDUINO_CORE_DIR}/cores/arduino/*.cpp
       ${ARDUINO_CORE_DIR}/cores/arduino/*.S)
  list(FILTER core_sources EXCLUDE REGEX "/WString\\.cpp$")
  set(core_objects)
  foreach(source ${core_sources})
    get_filename_component(name ${source} NAME)
    if(name MATCHES "\\.c$")
      set(compile ${AVR_GCC} ${arduino_c_flags})
    elseif(name MATCHES "\\.S$")
      set(compile ${AVR_GCC} ${arduino_asm_flags})
    else()
      set(compile ${AVR_GXX} ${arduino_cxx_flags})
    endif()
    add_custom_command(OUTPUT ${core_dir}/${name}.o
      COMMAND ${CMAKE_COMMAND} -E make_directory ${core_dir}
      COMMAND ${compile} ${source} -o ${core_dir}/${name}.o
      DEPENDS ${source}
      VERBATIM)
    list(APPEND core_objects ${core_dir}/${name}.o)
  endforeach()
  add_custom_command(OUTPUT ${core_dir}/core.a
    COMMAND ${CMAKE_COMMAND} -E rm -f ${core_dir}/core.a
    COMMAND ${AVR_GCC_AR} rcs ${core_dir}/core.a ${core_objects}
    DEPENDS ${core_objects}
    VERBATIM)
  add_custom_target(arduino_core DEPENDS ${core_dir}/core.a)
else()
  message(STATUS "Arduino sketches: not built (${ARDUINO_SKETCHES_MISSING})")
endif()

# arduino_sketch(NAME SKETCH file.ino HEADER file.h [HEADER_NAME name.h]
#                [LIBRARY folder])
# builds ${CMAKE_CURRENT_BINARY_DIR}/NAME/NAME.elf from a sketch folder made
# as a user makes one: the .ino with the header beside it (named HEADER_NAME
# there, by default as it is named), and the library's src/ (our sources:
# every warning is an error) when LIBRARY is given.
function(arduino_sketch name)
  cmake_parse_arguments(PARSE_ARGV 1 sketch "" "SKETCH;HEADER;HEADER_NAME;LIBRARY" "")
  if(NOT sketch_HEADER_NAME)
    get_filename_component(sketch_HEADER_NAME ${sketch_HEADER} NAME)
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name})
  get_filename_component(ino ${sketch_SKETCH} NAME)
  set(strict -Wall -Wextra -Werror)
  set(objects ${dir}/${ino}.o)
  set(includes)
  set(library_headers)
  if(sketch_LIBRARY)
    file(GLOB library_sources ${sketch_LIBRARY}/src/*.cpp)
    file(GLOB library_headers ${sketch_LIBRARY}/src/*.h)
    set(includes -I${sketch_LIBRARY}/src)
    foreach(source ${library_sources})
      get_filename_component(source_name ${source} NAME)
      add_custom_command(OUTPUT ${dir}/${source_name}.o
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${AVR_GXX} ${arduino_cxx_flags} ${strict} ${includes} ${source} -o ${dir}/${source_name}.o
        DEPENDS ${source} ${library_headers}
        VERBATIM)
      list(APPEND objects ${dir}/${source_name}.o)
    endforeach()
  endif()
  # The IDE compiles a sketch as C++ after Arduino.h.
  add_custom_command(OUTPUT ${dir}/${ino}.o
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/sketch
    COMMAND ${CMAKE_COMMAND} -E copy ${sketch_SKETCH} ${dir}/sketch/${ino}
    COMMAND ${CMAKE_COMMAND} -E copy ${sketch_HEADER} ${dir}/sketch/${sketch_HEADER_NAME}
    COMMAND ${AVR_GXX} ${arduino_cxx_flags} ${strict} ${includes} -x c++ -include Arduino.h ${dir}/sketch/${ino}
            -o ${dir}/${ino}.o
    DEPENDS ${sketch_SKETCH} ${sketch_HEADER} ${library_headers}
    VERBATIM)
  add_custom_command(OUTPUT ${dir}/${name}.elf
    COMMAND ${AVR_GCC} ${arduino_link_flags} -o ${dir}/${name}.elf ${objects} ${CMAKE_BINARY_DIR}/arduino/core/core.a
            -lm
    DEPENDS ${objects} ${CMAKE_BINARY_DIR}/arduino/core/core.a
    VERBATIM)
  add_custom_target(${name}_firmware DEPENDS ${dir}/${name}.elf)
  add_dependencies(${name}_firmware arduino_core)
endfunction()
