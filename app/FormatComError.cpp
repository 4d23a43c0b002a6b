#include "FormatComError.h"

QString FormatComError(const QString& context, const ComError& error)
{
    const std::u16string& description = error.Description();
    QString detail = description.empty() ? QStringLiteral("no additional info is available")
                                         : QString::fromStdU16String(description);
    return QStringLiteral("%1 (code 0x%2):\n%3")
        .arg(context, QString::number(uint32_t(error.Result()), 16).toUpper(), detail);
}
