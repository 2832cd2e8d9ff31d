// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Start-up with an archive still in the old Access/Jet format: the offer to
// convert it, with the warnings it needs, progress and the final report.

#include <QString>

class JetRowSource;
class QWidget;

// True when path now holds a converted archive to start on; false when the
// user declined or the conversion was refused or failed (the message has been
// shown and nothing has changed).
bool offerJetConversion(QWidget *parent, const QString &path);

// Tests hand rows in place of a Jet file (nullptr: read the file).
void setJetSourceForTests(JetRowSource *source);
