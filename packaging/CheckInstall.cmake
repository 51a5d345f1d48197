# Installs the build into a scratch prefix and checks what a desktop needs:
# the programs, the desktop entry, the icons, the AppStream metainfo and the
# manual pages; the desktop entry and the metainfo pass their validators
# when those are installed.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -P CheckInstall.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file bin/k417-service bin/k417-sim bin/k417ctl
             share/applications/k417-service.desktop
             share/metainfo/si.zolvan.k417_service.metainfo.xml
             share/icons/hicolor/scalable/apps/k417-service.svg
             share/icons/hicolor/48x48/apps/k417-service.png
             share/icons/hicolor/256x256/apps/k417-service.png
             share/man/man1/k417-service.1.gz share/man/man1/k417-sim.1.gz share/man/man1/k417ctl.1.gz
             share/doc/k417-service/copyright)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} "${PREFIX}/share/applications/k417-service.desktop"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0 OR out)
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net "${PREFIX}/share/metainfo/si.zolvan.k417_service.metainfo.xml"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${out}")
  endif()
endif()
# The installed command line runs from its place.
execute_process(COMMAND "${PREFIX}/bin/k417ctl" --version RESULT_VARIABLE result OUTPUT_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out MATCHES "^k417ctl ")
  message(FATAL_ERROR "installed k417ctl does not run: ${out}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installs completely")
