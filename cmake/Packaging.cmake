# The Debian package (`cpack -G DEB` in the build tree, or scripts/package): the program, its menu entry, its icon
# and its manual page, with the run-time Depends that dpkg-shlibdeps finds in the binary plus the packages it loads
# by name. No maintainer scripts: removing the package never touches a user's library ($XDG_DATA_HOME/paveno).
if(NOT TARGET paveno)
  return()
endif()
include(GNUInstallDirs)

# The package's version is the program's own: the content of the update window's version box, which --version prints
# and the update check compares with the server's.
set(_windows_source ${PROJECT_SOURCE_DIR}/forms/windowdata/windows.json)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_windows_source})
file(READ ${_windows_source} _windows)
string(JSON _window_count LENGTH "${_windows}" windows)
math(EXPR _last_window "${_window_count} - 1")
foreach(_w RANGE ${_last_window})
  string(JSON _name GET "${_windows}" windows ${_w} name)
  if(_name STREQUAL "更新窗口")
    string(JSON _control_count LENGTH "${_windows}" windows ${_w} controls)
    math(EXPR _last_control "${_control_count} - 1")
    foreach(_c RANGE ${_last_control})
      string(JSON _name ERROR_VARIABLE _unnamed GET "${_windows}" windows ${_w} controls ${_c} name)
      if(_name STREQUAL "编辑框2")
        string(JSON PAVENO_VERSION GET "${_windows}" windows ${_w} controls ${_c} properties content)
      endif()
    endforeach()
  endif()
endforeach()
if(NOT PAVENO_VERSION MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No version in the update window of ${_windows_source}")
endif()

set(PAVENO_PACKAGE_SUMMARY "collect a Chinese web novel site into a local library and browse it")

# The manual page: the program's own --help text in man macros, so the two always say the same.
find_program(PAVENO_GZIP gzip REQUIRED)
set(_manual ${PROJECT_BINARY_DIR}/manual/paveno.1)
add_custom_command(
  OUTPUT ${_manual} ${_manual}.gz
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:paveno> -DSUMMARY=${PAVENO_PACKAGE_SUMMARY} -DOUTPUT=${_manual}
          -DGZIP=${PAVENO_GZIP} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
  DEPENDS paveno ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
  COMMENT "Writing the manual page from paveno --help"
  VERBATIM)
add_custom_target(paveno_manual ALL DEPENDS ${_manual}.gz)
install(FILES ${_manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(PAVENO_PACKAGE_MAINTAINER "Paveno developers <paveno@nv.example>" CACHE STRING "Maintainer field of the package")

# The documents every Debian package carries in /usr/share/doc/paveno: the licence in the machine-readable copyright
# format (its text is LICENSE's, so the two never differ), and the package's changelog (cmake/changelog, whose newest
# entry scripts/check-package holds to the program's version), compressed as Debian expects.
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/paveno)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/doc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE
                                                               ${PROJECT_SOURCE_DIR}/cmake/changelog)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE _license_lines)
set(_license_text "")
set(_copyright_line "")
foreach(_line IN LISTS _license_lines)
  if(_line MATCHES "^Copyright \\(c\\) (.*)$")
    set(_copyright_line "${CMAKE_MATCH_1}")
  elseif(_copyright_line AND _line STREQUAL "")
    string(APPEND _license_text " .\n")
  elseif(_copyright_line)
    string(APPEND _license_text " ${_line}\n")
  endif()
endforeach()
string(REGEX REPLACE "^ \\.\n" "" _license_text "${_license_text}")
if(NOT _copyright_line OR NOT _license_text)
  message(FATAL_ERROR "LICENSE has no \"Copyright (c) ...\" line followed by the licence text")
endif()
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/doc/copyright CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Paveno
Upstream-Contact: ${PAVENO_PACKAGE_MAINTAINER}

Files: *
Copyright: ${_copyright_line}
License: Expat

License: Expat
${_license_text}")
execute_process(COMMAND ${PAVENO_GZIP} -9 -n -c INPUT_FILE ${PROJECT_SOURCE_DIR}/cmake/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/doc/changelog.Debian.gz RESULT_VARIABLE _gzip_status)
if(NOT _gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip of cmake/changelog failed: ${_gzip_status}")
endif()
install(FILES ${PROJECT_BINARY_DIR}/doc/copyright ${PROJECT_BINARY_DIR}/doc/changelog.Debian.gz DESTINATION ${_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME paveno)
set(CPACK_PACKAGE_VERSION ${PAVENO_VERSION})
set(CPACK_PACKAGE_CONTACT ${PAVENO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PAVENO_PACKAGE_SUMMARY})
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Paveno collects the catalogue of a Chinese web novel site, category by\n"
       "category (title, author, introduction, cover and the book's archive), into a\n"
       "local library, and lets you browse it: covers and introductions, open an\n"
       "archive, find a book by name. It also collects without a desktop\n"
       "(paveno --collect).")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # paveno_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by name, so dpkg-shlibdeps cannot see them: the Chinese glyphs of every window, Qt's Chinese button texts
# (确定, 取消), libcurl (loaded while the windows are built; 7.85 has every call and option the program uses),
# libarchive (reads an archive of unknown length through; RAR5 since 3.4) and libcrypto (checks the update's
# signature).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-wqy-microhei, qt6-translations-l10n, libcurl4 (>= 7.85.0), libarchive13 (>= 3.4.0), libssl3 (>= 3.0.0)")
# Opens archives, folders and links; without it the program says what it could not open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
