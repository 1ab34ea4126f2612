# Fails when a lower layer includes a header of a layer above it: the support library and
# the platform see only each other, the data file model sees nothing of the pipeline, the
# catalogue, the settings or the windows, the settings and home see only those below them,
# the pipeline and the catalogue see nothing of the windows or the command line, and app/,
# the window program's entry, is included by nobody and is the only one to include ui/. Fails too when a system header of the operating system is included
# anywhere but in platform/, the one door to the system.
set(rules
    "lib|app/ catalogue/ cli/ extract/ settings/ storage/ ui/"
    "platform|app/ catalogue/ cli/ extract/ lib/ settings/ storage/ ui/"
    "storage|app/ catalogue/ cli/ extract/ settings/ ui/"
    "settings|app/ catalogue/ cli/ extract/ ui/"
    "catalogue|app/ cli/ extract/ ui/"
    "extract|app/ cli/ ui/"
    "cli|app/ ui/"
    "ui|app/"
    "testkit|app/ ui/"
    "tools/archiver|app/ ui/")
set(program_folders app catalogue cli extract lib settings storage ui)
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
