// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's folder, where this copy keeps its own files, the user's
// folders, the working folder and where a stored component lies here.

#include "data/Files.h"

#include <QString>

namespace Paths {
// Folder of the program's executable (tests point it elsewhere, and may have
// it taken for a folder this copy cannot write).
QString programFolder();
void setProgramFolder(const QString &folder, bool actReadOnly = false);

// Where this copy keeps SERVER.DAT, MAXPRJ.DAT and the fallback archive,
// decided once per program folder. A copy that can write its own folder (a
// build folder, a copy on a share, a portable folder) keeps them beside the
// program. An installed copy, or one whose folder it cannot write, keeps them
// in the user's folders: Qt's configuration location of the application for
// the settings files, its data location for the fallback archive.
// A copy counts as installed when its shipped files lie in ../share/velbor,
// as the install rules lay them out (/usr/bin/velbor beside
// /usr/share/velbor): so it never writes into /usr, not even when run by root.
// On Windows everything lies in the program's folder, and a copy counts as
// installed when the installer's Disinstalla.exe is there: it keeps its
// files in %APPDATA%\Velbor, never under Program Files.
bool keepsFilesBesideProgram();
// Folder of SERVER.DAT and MAXPRJ.DAT.
QString settingsFolder();
// Folder of the fallback archive, and the working folder.
QString localFolder();
// The empty archive this copy ships: in ../share/velbor when installed (on
// Linux), else beside the program.
QString shippedArchive();
// The folder of the user guide (index.html and its pages): in
// ../share/velbor/guida when installed, else in guida beside the program.
QString guideFolder();
// In the user's folders, makes the fallback archive from the shipped one when
// there is none yet. Returns the error, empty on success.
QString ensureLocalArchive();

// The file that a component's stored path stands for on this workstation: the
// stored path itself when it names a file here. Otherwise (a path written on
// another workstation, with a drive letter and backslashes or under another
// mount point) the longest tail of it, split at \ and /, that names a file
// inside dataFolder; never through a "." or ".." step, nor through a symbolic
// link that leads outside dataFolder. Empty when nothing matches.
QString findComponent(const QString &stored, const QString &dataFolder);


// The file helpers below the windows, under their old names too.
using Files::folderOf;
using Files::isSafeFolderName;
using Files::join;
using Files::NewFile;
using Files::notAFile;
using Files::openRegularFile;
using Files::setBeforePlacing;
using Files::setHardLinksUsable;
using Files::staysInside;
using Files::writeAtomically;
using Files::writeNewFile;

// Makes folder the working folder; false (and nothing changed) when it cannot.
bool setWorkingFolder(const QString &folder);

}
