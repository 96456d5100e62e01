# The manual pages and the packaged changelog, made at build time into <build>/manuals and
# installed by Packaging.cmake's caller. Each page has one source:
#   quorvel-cli(1)  help2man over `quorvel-cli --help` and `--version`, plus the sections in
#                   packaging/man/quorvel-cli.h2m (name line, progress, examples, see also)
#   quorvel(1)      packaging/man/quorvel.1.md through go-md2man; the window program takes its
#                   whole command line as a file path, so it has no --help to read
# Pages and changelog are compressed with gzip -9n (no name or time stamp), as Debian wants.
# The date on the pages is the date of the changelog's latest entry, so a rebuild gives the same
# bytes, and that entry's version must be the project's.
if(CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "QUORVEL_MANUALS: the manual page of quorvel-cli is read from the built "
                      "program's --help, which a cross-build can't run")
endif()
find_program(QUORVEL_HELP2MAN help2man REQUIRED)
find_program(QUORVEL_GO_MD2MAN go-md2man REQUIRED)
find_program(QUORVEL_GZIP gzip REQUIRED)
find_program(QUORVEL_DATE date REQUIRED)

set(changelog ${QUORVEL_PACKAGING_DIR}/changelog)
set(manuals ${CMAKE_BINARY_DIR}/manuals)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})

# The latest entry: "quorvel (VERSION) ..." first, and its trailer " -- NAME <ADDRESS>  DATE".
file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
file(STRINGS ${changelog} changelog_trailers REGEX "^ -- ")
list(GET changelog_trailers 0 changelog_trailer)
if(NOT changelog_head MATCHES "^quorvel \\(([^)]+)\\)")
  message(FATAL_ERROR "packaging/changelog: the first line is not 'quorvel (VERSION) ...'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the latest entry is for ${CMAKE_MATCH_1}, the project "
                      "is ${PROJECT_VERSION}; add an entry for ${PROJECT_VERSION}")
endif()
if(NOT changelog_trailer MATCHES ">  (.+)$")
  message(FATAL_ERROR "packaging/changelog: no date in '${changelog_trailer}'")
endif()
set(changelog_date ${CMAKE_MATCH_1})
execute_process(COMMAND ${QUORVEL_DATE} -u -d "${changelog_date}" +%s
                OUTPUT_VARIABLE QUORVEL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                        ${QUORVEL_DATE} -u -d "${changelog_date}" "+%B %Y"
                OUTPUT_VARIABLE QUORVEL_MAN_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

set(manual_outputs ${manuals}/changelog.gz)
add_custom_command(
  OUTPUT ${manuals}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${changelog} ${manuals}/changelog
  COMMAND ${QUORVEL_GZIP} -9nf ${manuals}/changelog
  DEPENDS ${changelog}
  COMMENT "Compressing the changelog"
  VERBATIM)
install(FILES ${manuals}/changelog.gz DESTINATION ${QUORVEL_DOC_DIR} COMPONENT quorvel)

if(TARGET quorvel-cli)
  set(include ${QUORVEL_PACKAGING_DIR}/man/quorvel-cli.h2m)
  add_custom_command(
    OUTPUT ${manuals}/quorvel-cli.1.gz
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUORVEL_SOURCE_DATE_EPOCH} LC_ALL=C
            ${QUORVEL_HELP2MAN} --no-info --include=${include}
            --output=${manuals}/quorvel-cli.1 $<TARGET_FILE:quorvel-cli>
    COMMAND ${QUORVEL_GZIP} -9nf ${manuals}/quorvel-cli.1
    DEPENDS quorvel-cli ${include}
    COMMENT "Making the manual page quorvel-cli(1)"
    VERBATIM)
  list(APPEND manual_outputs ${manuals}/quorvel-cli.1.gz)
  install(FILES ${manuals}/quorvel-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT quorvel)
endif()

if(TARGET quorvel)
  configure_file(${QUORVEL_PACKAGING_DIR}/man/quorvel.1.md ${manuals}/quorvel.1.md @ONLY)
  add_custom_command(
    OUTPUT ${manuals}/quorvel.1.gz
    COMMAND ${QUORVEL_GO_MD2MAN} -in ${manuals}/quorvel.1.md -out ${manuals}/quorvel.1
    COMMAND ${QUORVEL_GZIP} -9nf ${manuals}/quorvel.1
    DEPENDS ${manuals}/quorvel.1.md
    COMMENT "Making the manual page quorvel(1)"
    VERBATIM)
  list(APPEND manual_outputs ${manuals}/quorvel.1.gz)
  install(FILES ${manuals}/quorvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT quorvel)
endif()

add_custom_target(quorvel_manuals ALL DEPENDS ${manual_outputs})
