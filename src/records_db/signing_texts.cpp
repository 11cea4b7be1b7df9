#include "records_db/signing_texts.h"

namespace recordsdb {

namespace {

struct Row {
    SigningBar bar;
    const char *id;
    const char *text[3];
};

const Row kRows[] = {
    {SigningBar::NoRecord, "no-record", {"没有这条记录", "沒有這筆記錄", "There is no such record"}},
    {SigningBar::Superseded, "superseded",
     {"此记录已被修正：请签署修正后的版本", "此記錄已被修正：請簽署修正後的版本",
      "This record was amended: sign the amended version"}},
    {SigningBar::NotEnrolled, "not-enrolled",
     {"此人未在密钥环中登记", "此人未在金鑰環中登記", "This person is not enrolled in the keyring"}},
    {SigningBar::KeyRevoked, "key-revoked", {"此人的密钥已被吊销", "此人的金鑰已被撤銷", "This person's key was revoked"}},
    {SigningBar::LacksRole, "lacks-role",
     {"此人没有该签署角色", "此人沒有該簽署角色", "This person does not hold the role for this signature"}},
    {SigningBar::PerformedIt, "performed-it",
     {"您执行了此检查，不能审核或批准它", "您執行了此檢查，不能審核或核准它",
      "You performed this check and cannot review or approve it"}},
    {SigningBar::ReviewedIt, "reviewed-it",
     {"您审核了此检查，不能批准它", "您審核了此檢查，不能核准它", "You reviewed this check and cannot approve it"}},
    {SigningBar::SignedAlready, "signed-already",
     {"此检查已有这样的签名", "此檢查已有這樣的簽名", "This check is signed so already"}},
};

const Row *rowOf(SigningBar bar)
{
    for (const Row &row : kRows)
        if (row.bar == bar)
            return &row;
    return nullptr;
}

} // namespace

QString signingBarId(SigningBar bar)
{
    const Row *row = rowOf(bar);
    return row ? QString::fromLatin1(row->id) : QString();
}

QString signingBarText(SigningBar bar, int language)
{
    const Row *row = rowOf(bar);
    return row ? QString::fromUtf8(row->text[language >= 0 && language < 3 ? language : 2]) : QString();
}

QString passphraseText(int language)
{
    static const char *const texts[3] = {"签名人的口令", "簽署人的通行碼", "The signer's passphrase"};
    return QString::fromUtf8(texts[language >= 0 && language < 3 ? language : 2]);
}

} // namespace recordsdb
