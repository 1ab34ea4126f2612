# Fails when a lower layer includes a header of a layer above it: the support library and
# the platform see only each other, the data file model sees nothing of the pipeline, the
# catalogue or the windows, and the pipeline and the catalogue see nothing of the windows
# or the command line. Fails too when a system header of the operating system is included
# anywhere but in platform/, the one door to the system.
set(rules
    "lib|app/ catalogue/ cli/ extract/ storage/ ui/"
    "platform|app/ catalogue/ cli/ extract/ lib/ storage/ ui/"
    "storage|app/ catalogue/ cli/ extract/ ui/"
    "catalogue|app/ cli/ extract/ ui/"
    "extract|app/ cli/ ui/")
set(program_folders app catalogue cli extract lib storage ui)
set(system_header_pattern "^#include <(unistd|fcntl|dlfcn|pwd|dirent|spawn|sys/[^>]*)(\\.h)?>")

set(problems "")
foreach(rule IN LISTS rules)
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 folder)
    list(GET parts 1 forbidden)
    string(REPLACE " " ";" forbidden "${forbidden}")
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^#include \"")
        foreach(line IN LISTS includes)
            foreach(above IN LISTS forbidden)
                if(line MATCHES "^#include \"${above}")
                    list(APPEND problems "${source}: ${line}")
                endif()
            endforeach()
        endforeach()
    endforeach()
endforeach()

foreach(folder IN LISTS program_folders)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*<")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "#include " line "${line}")
            if(line MATCHES "${system_header_pattern}")
                list(APPEND problems "${source}: ${line} (a system header outside platform/)")
            endif()
        endforeach()
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n" text)
    message(FATAL_ERROR "Includes against the layering:\n${text}")
endif()
