# SPDX-License-Identifier: GPL-3.0-or-later
# The windows, as a static library, and the program that is main.cpp alone.
add_library(velbor_gui STATIC
  resources/velbor.qrc
  platform/MessageBox.cpp platform/FileDialog.cpp widgets/PasswordDialog.cpp widgets/ProgressWindow.cpp platform/Resources.cpp
  app/frmMain.cpp app/frmMain.ui app/frmAutore.cpp app/frmAutore.ui app/frmGuida.cpp app/frmGuida.ui app/frmInformazioni.cpp app/frmInformazioni.ui app/frmCestino.cpp app/frmCestino.ui app/Startup.cpp app/JetConversion.cpp
  config/frmConfigura.cpp config/frmConfigura.ui
  widgets/Widgets.cpp widgets/Anchors.cpp widgets/WindowPlace.cpp widgets/GridColumns.cpp widgets/frmStorico.cpp widgets/frmStorico.ui
  clients/frmClienti.cpp clients/frmClienti.ui clients/ClientSearch.cpp clients/frmElenco.cpp clients/frmElenco.ui
  projects/frmProgetti.cpp projects/frmProgettiLayout.cpp projects/frmProgettiStorico.cpp projects/frmProgetti.ui projects/ProjectEditor.cpp projects/ProjectTreeModel.cpp projects/ProjectSearch.cpp projects/NotesSearch.cpp
  widgets/SearchPanel.cpp
  components/frmCOmponenti.cpp components/frmCOmponenti.ui components/preview/Preview.cpp components/preview/DwgPicture.cpp components/NotesEdit.cpp components/NotesPages.cpp components/rtf/RtfShared.cpp components/rtf/RtfReader.cpp components/rtf/RtfReaderBlocks.cpp components/rtf/RtfReaderDestinations.cpp components/rtf/RtfWriter.cpp
)
target_link_libraries(velbor_gui PUBLIC velbor_core Qt6::Widgets Qt6::PrintSupport)
# PDF pages in the components window's preview come from Poppler, where it is
# (libpoppler-qt6-dev); the Windows build has none and shows the file's icon.
if(NOT WIN32)
  pkg_check_modules(POPPLER_QT6 IMPORTED_TARGET poppler-qt6)
endif()
if(POPPLER_QT6_FOUND)
  target_link_libraries(velbor_gui PRIVATE PkgConfig::POPPLER_QT6)
  target_compile_definitions(velbor_gui PRIVATE VELBOR_POPPLER)
else()
  message(STATUS "poppler-qt6 not found: PDFs are not previewed")
endif()
# generated/Version.h, for the information window and the program's --version.
target_include_directories(velbor_gui PUBLIC ${CMAKE_BINARY_DIR}/generated)

qt_add_executable(velbor app/main.cpp)
target_link_libraries(velbor PRIVATE velbor_gui)
add_dependencies(velbor empty_archive)
