# SPDX-License-Identifier: GPL-3.0-or-later
add_library(velbor_guisupport STATIC GuiSupport.cpp)
target_link_libraries(velbor_guisupport PUBLIC velbor_testsupport velbor_gui)

function(velbor_gui_test name)
  velbor_test(${name} ${ARGN} GUI)
  target_link_libraries(${name} PRIVATE velbor_guisupport)
endfunction()

velbor_gui_test(tst_mainwindow app/tst_mainwindow.cpp)
if(NOT WIN32)
  velbor_gui_test(tst_server app/tst_server.cpp)
  # A stand-in server on 127.0.0.1: runs in every run, with or without a real one.
  velbor_gui_test(tst_serverauth app/tst_serverauth.cpp)
endif()
# The help and information windows; the guide's pages as shipped in doc/guida.
velbor_gui_test(tst_guida app/tst_guida.cpp)
target_compile_definitions(tst_guida PRIVATE VELBOR_GUIDE="${VELBOR_HOST}${CMAKE_SOURCE_DIR}/doc/guida")
velbor_server_test(tst_guida)
# The recycle bin's window and the bin's emptying at start.
velbor_gui_test(tst_cestino app/tst_cestino.cpp)
velbor_server_test(tst_cestino)
# The command lines of velbor and velbor_admin, and which SERVER.DAT an
# installed copy reads (the package's own among them).
if(NOT WIN32)
  velbor_gui_test(tst_startup app/tst_startup.cpp)
  target_compile_definitions(tst_startup PRIVATE VELBOR_PROGRAM="$<TARGET_FILE:velbor>" VELBOR_ADMIN="$<TARGET_FILE:velbor_admin>"
                             VELBOR_SHIPPED_SERVER="${CMAKE_SOURCE_DIR}/packaging/SERVER.DAT")
  add_dependencies(tst_startup velbor velbor_admin)
endif()
velbor_gui_test(tst_configura config/tst_configura.cpp)
velbor_gui_test(tst_windows widgets/tst_windows.cpp)
velbor_gui_test(tst_storico widgets/tst_storico.cpp)
velbor_server_test(tst_storico)
velbor_gui_test(tst_progetti projects/tst_progetti.cpp)
velbor_gui_test(tst_progetti_workstations projects/tst_progetti_workstations.cpp)
velbor_gui_test(tst_progetti_search projects/tst_progetti_search.cpp)
velbor_gui_test(tst_componenti components/tst_componenti.cpp)
target_compile_definitions(tst_componenti PRIVATE VELBOR_SAMPLES="${VELBOR_HOST}${CMAKE_CURRENT_SOURCE_DIR}/components/samples")
# The preview of components; the sample drawings, where they are present.
set(VELBOR_DWG_SAMPLES ${CMAKE_SOURCE_DIR}/../shared/dwg)
if(NOT EXISTS ${VELBOR_DWG_SAMPLES}/example_2018.dwg)
  set(VELBOR_DWG_SAMPLES /work/shared/dwg)
endif()
velbor_gui_test(tst_preview components/tst_preview.cpp)
target_compile_definitions(tst_preview PRIVATE VELBOR_DWG_SAMPLES="${VELBOR_HOST}${VELBOR_DWG_SAMPLES}")
velbor_gui_test(tst_rtf components/rtf/tst_rtf.cpp)
target_compile_definitions(tst_rtf PRIVATE VELBOR_SAMPLES="${VELBOR_HOST}${CMAKE_CURRENT_SOURCE_DIR}/components/samples")

# The fuzz targets' saved corpora replay as ordinary tests; the fuzzers
# themselves are built by scripts/fuzz.sh with clang.
function(velbor_fuzz_target name library)
  set(source fuzz/fuzz_${name}.cpp)
  velbor_test(tst_corpus_${name} fuzz/tst_corpus.cpp ${source})
  target_link_libraries(tst_corpus_${name} PRIVATE ${library})
  target_compile_definitions(tst_corpus_${name} PRIVATE VELBOR_CORPUS="${VELBOR_HOST}${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus_${name}")
  if(VELBOR_FUZZ)
    add_executable(fuzz_${name} ${source})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE ${library})
  endif()
endfunction()
velbor_fuzz_target(rtf velbor_gui)
velbor_fuzz_target(criterion velbor_core)
# The reader of the pictures drawings keep, alone: it needs Qt Core only.
add_library(velbor_dwgpicture STATIC ${CMAKE_SOURCE_DIR}/components/preview/DwgPicture.cpp)
target_include_directories(velbor_dwgpicture PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(velbor_dwgpicture PUBLIC Qt6::Core)
velbor_fuzz_target(dwg velbor_dwgpicture)
if(NOT WIN32)
  velbor_fuzz_target(jet velbor_core)
  velbor_gui_test(tst_badinput reliability/tst_badinput.cpp)
endif()

velbor_gui_test(tst_clienti clients/tst_clienti.cpp)
velbor_gui_test(tst_elenco clients/tst_elenco.cpp)

# The windows' suites once more on the archive on a server.
foreach(t tst_server tst_configura tst_progetti tst_progetti_workstations tst_progetti_search tst_componenti tst_clienti tst_elenco)
  velbor_server_test(${t})
endforeach()
