# The network benchmark starts the test servers from the source tree; its
# peer is the curl command-line tool, run as a program.
target_compile_definitions(${name} PRIVATE BRIM_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
