// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the criterion parser never crashes on any text, and what
// it accepts, written back in the criterion form, parses to the same terms.
#include "Criterion.h"
#include "basMain.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const TableInfo items{QStringLiteral("RighePRJ"),
                                 {{"codprj", FieldKind::Text}, {"livello", FieldKind::Number},
                                  {"codice", FieldKind::Text}, {"descr", FieldKind::Text}, {"data", FieldKind::Date}}};
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const ParsedCriterion parsed = parseCriterion(text, items);
    if (parsed.ok() == !parsed.error.isEmpty())
        abort();
    if (!parsed.ok())
        return 0;
    QStringList terms;
    for (const Term &t : parsed.terms) {
        if (t.column < 0 || t.column >= items.columns.size())
            abort();
        const bool number = t.value.typeId() == QMetaType::LongLong;
        terms << items.columns[t.column].name + QLatin1Char('=')
                     + (number ? QString::number(t.value.toLongLong()) : QuotaSQL(t.value.toString()));
    }
    const ParsedCriterion again = parseCriterion(terms.join(QStringLiteral(" AND ")), items);
    if (!again.ok() || again.terms.size() != parsed.terms.size())
        abort();
    for (int i = 0; i < again.terms.size(); ++i)
        if (again.terms[i].column != parsed.terms[i].column || again.terms[i].value != parsed.terms[i].value)
            abort();
    return 0;
}
