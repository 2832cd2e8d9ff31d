// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values the windows share for the whole run, with their start values.

#include <QString>

#include <array>

// Three texts addressed 1..3, one per sheet: NomeScheda(1) is the project sheet.
class SheetTexts {
public:
    SheetTexts(QString a, QString b, QString c) : m_v{std::move(a), std::move(b), std::move(c)} {}
    QString &operator()(int n) { return m_v.at(std::size_t(n - 1)); }
    const QString &operator()(int n) const { return m_v.at(std::size_t(n - 1)); }

private:
    std::array<QString, 3> m_v;
};

struct RunState {
    QString PercorsoDati;            // data folder, no trailing separator
    QString CartellaConfigurata;     // data folder SERVER.DAT named at start; empty when none
    QString ServerScelto;            // data folder chosen during the run for the next start; empty when none
    int ContatoreComponenti = 0;     // last number given to a registered component file
    SheetTexts NomeScheda{QStringLiteral("Progetto"), QStringLiteral("Livello 1"), QStringLiteral("Livello 2")};
    SheetTexts PrefissoScheda{QStringLiteral("P"), QStringLiteral("L1"), QStringLiteral("L2")};
    QString ClienteCorrente;
    int LivelloCorrente = 0;         // selected sheet of the project window, 0..3
    QString ProgettoCorrente;
    QString ElementoCorrente;
    QString FileNote;
};
