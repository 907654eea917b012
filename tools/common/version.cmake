# Writes OUTPUT, a C++ source defining the version text: VERSION, and the git
# commit of SOURCE_DIR when it is a checkout ("0.1.0 (git 1a2b3c4d5e6f)", with
# ", modified" when the work tree differs from it). Run at every build; the
# file is rewritten only when the text changes, so nothing rebuilds for nothing.
#   cmake -DVERSION=0.1.0 -DSOURCE_DIR=... -DOUTPUT=version.cpp -P version.cmake
set(text "${VERSION}")
find_program(GIT git)
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(NOT failed AND commit)
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} diff --quiet HEAD --
                    RESULT_VARIABLE modified OUTPUT_QUIET ERROR_QUIET)
    if(modified EQUAL 1)
      set(text "${VERSION} (git ${commit}, modified)")
    else()
      set(text "${VERSION} (git ${commit})")
    endif()
  endif()
endif()
file(WRITE "${OUTPUT}.new" "// Generated at build time by version.cmake.\nextern const char zirbelon_version_text[];\nconst char zirbelon_version_text[] = \"${text}\";\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
