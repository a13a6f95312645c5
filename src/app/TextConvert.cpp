#include "app/TextConvert.h"

QString Utf8ToAnsi(const QByteArray& text)
{
    QString result = QString::fromUtf8(text);
    result.replace(QChar(QChar::ReplacementCharacter), QLatin1Char('?'));
    return result;
}

namespace {

template <typename Text> QList<Text> SplitItems(const Text& list, typename Text::value_type slash)
{
    const Text kept = list.left(kSlashListBuffer - 1);
    QList<Text> items;
    for (const Text& item : kept.split(slash)) {
        if (!item.isEmpty())
            items.append(item);
    }
    return items;
}

} // namespace

QStringList SplitSlashList(const QString& list)
{
    return SplitItems(list, QLatin1Char('/'));
}

QList<QByteArray> SplitSlashList(const QByteArray& list)
{
    return SplitItems(list, '/');
}

QString SlashItem(const QString& list, int n)
{
    const QStringList items = SplitSlashList(list);
    if (items.isEmpty())
        return {};
    if (n < 0 || n >= items.size())
        return items.last();
    return items.at(n);
}
