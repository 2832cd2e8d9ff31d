# SPDX-License-Identifier: GPL-3.0-or-later
# The suites of the Windows build (scripts/build-windows.sh), run under Wine
# by CTest through the cross-build's emulator. Left out, and why:
#  - the *_server runs, tst_server, tst_admin's server cases: the test server
#    speaks TLS only, which this libpq lacks; the engine's code is the same;
#  - tst_serverauth and tst_reliability: their stand-in server and crash
#    driver use POSIX sockets and signals;
#  - tst_jetimport, tst_jetreader, tst_corpus_jet: no libmdb on Windows;
#  - tst_badinput: FIFOs, device files and file-size limits do not exist there;
#  - layers, license_headers, servers_side_by_side: scripts about the
#    sources, run by the Linux build.
velbor_test(tst_criteria data/tst_criteria.cpp)
velbor_test(tst_search data/tst_search.cpp)
velbor_test(tst_archive data/tst_archive.cpp)
velbor_test(tst_archiveuse data/engines/tst_archiveuse.cpp)
velbor_test(tst_dailybackup data/engines/tst_dailybackup.cpp)
velbor_test(tst_safetynet data/tst_safetynet.cpp)
velbor_test(tst_settings app/tst_settings.cpp)
velbor_test(tst_paths platform/tst_paths.cpp)
include(gui_tests.cmake)

# A workstation in a box, for the installer's smoke test: it writes to the
# archive a Linux workstation writes to at the same time.
add_executable(velbor_driver reliability/velbor_driver.cpp)
target_link_libraries(velbor_driver PRIVATE velbor_core)
