#include "store/accountstore.h"

#include "store/settingslists.h"

namespace {

const QString UserNameKey = QStringLiteral("username");
const QString PasswordKey = QStringLiteral("password");
const QString FlagKey = QStringLiteral("isrembered");

// The limit is checked per list, so lists of unequal lengths each stay within eight entries.
void appendWithinLimit(QByteArrayList &list, const QByteArray &value)
{
    list.append(value);
    if (list.size() > AccountStore::MaxRememberedAccounts)
        list.removeLast();
}

void removeAtIfPresent(QByteArrayList &list, int position)
{
    if (position < list.size())
        list.removeAt(position);
}

} // namespace

AccountStore::Lists AccountStore::load(const QString &path)
{
    Lists lists;
    lists.userNames = SettingsLists::read(path, UserNameKey);
    lists.passwords = SettingsLists::read(path, PasswordKey);
    lists.flags = SettingsLists::read(path, FlagKey);
    return lists;
}

void AccountStore::save(const Lists &lists, const QString &path)
{
    SettingsLists::write(path, UserNameKey, lists.userNames);
    SettingsLists::write(path, PasswordKey, lists.passwords);
    SettingsLists::write(path, FlagKey, lists.flags);
}

void AccountStore::recordAccount(Lists &lists, const QByteArray &nameCipher, const QByteArray &passwordCipher,
                                 const QByteArray &flagCipher)
{
    const int position = lists.userNames.indexOf(nameCipher);
    if (position >= 0) {
        removeAtIfPresent(lists.userNames, position);
        removeAtIfPresent(lists.passwords, position);
        removeAtIfPresent(lists.flags, position);
        lists.userNames.append(nameCipher);
        lists.passwords.append(passwordCipher);
        lists.flags.append(flagCipher);
    } else if (!nameCipher.isEmpty()) {
        appendWithinLimit(lists.userNames, nameCipher);
        appendWithinLimit(lists.passwords, passwordCipher);
        appendWithinLimit(lists.flags, flagCipher);
    }
}

int AccountStore::removeAccount(Lists &lists, const QByteArray &nameCipher)
{
    const int position = lists.userNames.indexOf(nameCipher);
    if (position >= 0) {
        removeAtIfPresent(lists.userNames, position);
        removeAtIfPresent(lists.passwords, position);
        removeAtIfPresent(lists.flags, position);
    }
    return position;
}
