#include "store/tapbindingstore.h"

#include "store/settingslists.h"

namespace {

// In the order the lists are named in Lists; the first names the bindings.
const QStringList Keys{QStringLiteral("username"), QStringLiteral("boundtap"), QStringLiteral("tappswd")};

} // namespace

TapBindingStore::Lists TapBindingStore::load(const QString &path)
{
    const QList<QByteArrayList> lists = SettingsLists::read(path, Keys);
    return {lists.at(0), lists.at(1), lists.at(2)};
}

bool TapBindingStore::save(const Lists &lists, const QString &path)
{
    return SettingsLists::write(path, Keys, {lists.userNames, lists.tapSerials, lists.tapPasswords});
}

bool TapBindingStore::saveBinding(Lists &lists, const QByteArray &nameCipher, const QByteArray &serialCipher,
                                  const QByteArray &passwordCipher, const QString &path)
{
    removeUser(lists, nameCipher);
    lists.userNames.prepend(nameCipher);
    lists.tapSerials.prepend(serialCipher);
    lists.tapPasswords.prepend(passwordCipher);
    return save(lists, path);
}

void TapBindingStore::removeUser(Lists &lists, const QByteArray &nameCipher)
{
    const QList<int> positions = indicesOf(lists, nameCipher);
    for (auto it = positions.crbegin(); it != positions.crend(); ++it) {
        for (QByteArrayList *list : {&lists.userNames, &lists.tapSerials, &lists.tapPasswords}) {
            if (*it < list->size())
                list->removeAt(*it);
        }
    }
}

QList<int> TapBindingStore::indicesOf(const Lists &lists, const QByteArray &nameCipher)
{
    QList<int> positions;
    for (int i = 0; i < lists.userNames.size(); ++i) {
        if (lists.userNames.at(i) == nameCipher)
            positions.append(i);
    }
    return positions;
}
