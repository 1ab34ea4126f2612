# Fails when a lower layer includes a header of a layer above it: the support library and
# the platform see only each other, and the data file model sees nothing of the pipeline,
# the catalogue or the windows.
set(rules
    "lib|app/ catalogue/ cli/ extract/ storage/ ui/"
    "platform|app/ catalogue/ cli/ extract/ lib/ storage/ ui/"
    "storage|app/ catalogue/ cli/ extract/ ui/")
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
if(problems)
    list(JOIN problems "\n" text)
    message(FATAL_ERROR "Includes against the layering:\n${text}")
endif()
