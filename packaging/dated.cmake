# Fills a text with the version and the release's date, the time the release
# files carry (packaging/source-epoch.sh), and gzips it when asked: the same
# sources give the same bytes. @VERSION@, @DATE_ISO@ (2026-12-08) and
# @DATE_RFC2822@ (Tue, 08 Dec 2026 19:45:00 +0000) are replaced.
#   cmake -DIN=FILE.in -DOUT=FILE -DVERSION=V -DSOURCE_DIR=DIR [-DGZIP=ON] -P dated.cmake
# Sources with neither SOURCE_DATE_EPOCH nor a checkout (a tarball) take the
# changelog's own time.
execute_process(COMMAND ${SOURCE_DIR}/packaging/source-epoch.sh ${SOURCE_DIR}
                OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE no_epoch ERROR_QUIET)
if(no_epoch)
  file(TIMESTAMP ${SOURCE_DIR}/CHANGELOG.md epoch %s UTC)
endif()
set(ENV{LC_ALL} C)
execute_process(COMMAND date -u -R -d @${epoch} OUTPUT_VARIABLE DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND date -u +%F -d @${epoch} OUTPUT_VARIABLE DATE_ISO OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${IN} ${OUT} @ONLY)
if(GZIP)
  execute_process(COMMAND gzip -9nf ${OUT} COMMAND_ERROR_IS_FATAL ANY)
endif()
