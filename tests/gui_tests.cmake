add_library(velbor_guisupport STATIC GuiSupport.cpp)
target_link_libraries(velbor_guisupport PUBLIC velbor_testsupport velbor_gui)

function(velbor_gui_test name)
  velbor_test(${name} ${ARGN} GUI)
  target_link_libraries(${name} PRIVATE velbor_guisupport)
endfunction()

velbor_gui_test(tst_mainwindow app/tst_mainwindow.cpp)
velbor_gui_test(tst_configura config/tst_configura.cpp)
velbor_gui_test(tst_progetti projects/tst_progetti.cpp)
