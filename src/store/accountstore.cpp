#include "store/accountstore.h"

#include "store/settingslists.h"

namespace {

// In the order the lists are named in Lists; the first names the accounts.
const QStringList Keys{QStringLiteral("username"), QStringLiteral("password"), QStringLiteral("isrembered")};

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
    const QList<QByteArrayList> lists = SettingsLists::read(path, Keys, MaxRememberedAccounts);
    return {lists.at(0), lists.at(1), lists.at(2)};
}

bool AccountStore::save(const Lists &lists, const QString &path)
{
    return SettingsLists::write(path, Keys, {lists.userNames, lists.passwords, lists.flags});
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
