#include "store/tapbindingstore.h"

#include "store/settingslists.h"

namespace {

const QString UserNameKey = QStringLiteral("username");
const QString SerialKey = QStringLiteral("boundtap");
const QString PasswordKey = QStringLiteral("tappswd");

} // namespace

TapBindingStore::Lists TapBindingStore::load(const QString &path)
{
    Lists lists;
    lists.userNames = SettingsLists::read(path, UserNameKey);
    lists.tapSerials = SettingsLists::read(path, SerialKey);
    lists.tapPasswords = SettingsLists::read(path, PasswordKey);
    return lists;
}

void TapBindingStore::save(const Lists &lists, const QString &path)
{
    SettingsLists::write(path, UserNameKey, lists.userNames);
    SettingsLists::write(path, SerialKey, lists.tapSerials);
    SettingsLists::write(path, PasswordKey, lists.tapPasswords);
}

void TapBindingStore::saveBinding(Lists &lists, const QByteArray &nameCipher, const QByteArray &serialCipher,
                                  const QByteArray &passwordCipher, const QString &path)
{
    removeUser(lists, nameCipher);
    lists.userNames.prepend(nameCipher);
    lists.tapSerials.prepend(serialCipher);
    lists.tapPasswords.prepend(passwordCipher);
    save(lists, path);
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
