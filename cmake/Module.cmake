# The module itself: one shared library built from the subsystem folders.
set(QUILLXML_DIRS lisp core model msxml compare unmarshal registry)
set(QUILLXML_SOURCES)
set(QUILLXML_HEADERS)
foreach(d ${QUILLXML_DIRS})
  file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.cpp)
  file(GLOB h CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.h)
  list(APPEND QUILLXML_SOURCES ${s})
  list(APPEND QUILLXML_HEADERS ${h})
endforeach()

add_library(quillxml SHARED ${QUILLXML_SOURCES})
add_library(quillxml::quillxml ALIAS quillxml)
target_include_directories(quillxml PUBLIC
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/quillxml>)
target_link_libraries(quillxml PUBLIC quillhost quillwin32 PRIVATE ecl_flags)
target_compile_features(quillxml INTERFACE cxx_std_20)
set_target_properties(quillxml PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 0)

# The Lisp files the module has the host load, placed where the host looks
# for the module's data: <libdir>/../share/quillxml/xml/lsp.
file(GLOB QUILLXML_LSP CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lsp/*.lsp)
foreach(f ${QUILLXML_LSP})
  get_filename_component(n ${f} NAME)
  configure_file(${f} ${QUILL_DATA_DIR}/xml/lsp/${n} COPYONLY)
endforeach()
install(FILES ${QUILLXML_LSP} DESTINATION ${CMAKE_INSTALL_DATADIR}/quillxml/xml/lsp)
