# SPDX-License-Identifier: GPL-3.0-or-later
# The windows' suites of the Windows build (scripts/build-windows.sh), after
# the data layer's (tests/CMakeLists.txt), run under Wine by
# windows/run-test.sh. Left out, and why:
#  - the *_server runs, tst_server, tst_admin's server cases: the test server
#    speaks TLS only, which this libpq lacks; the engine's code is the same;
#  - tst_serverauth and tst_reliability: their stand-in server and crash
#    driver use POSIX sockets and signals;
#  - tst_jetimport, tst_jetreader, tst_corpus_jet: no libmdb on Windows;
#  - tst_badinput: FIFOs, device files and file-size limits do not exist there;
#  - tst_startup and tst_admin: they drive the Linux programs' command lines
#    and the server;
#  - layers, license_headers, servers_side_by_side: scripts about the
#    sources, run by the Linux build.
include(gui_tests.cmake)
