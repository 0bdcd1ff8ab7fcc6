# The README shows tests/consumer/example.cpp, which the consumer test compiles; this keeps
# the two the same.
file(READ ${README} readme)
file(READ ${EXAMPLE} example)
string(FIND "${readme}" "```cpp\n${example}```\n" at)
if(at EQUAL -1)
    message(FATAL_ERROR "README.md does not show ${EXAMPLE} as it is; copy the file into its "
                        "```cpp block under \"Using the library\"")
endif()
