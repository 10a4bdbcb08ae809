#include "help/help_text.h"

#include "help/maker.h"

namespace numarika {

const QStringList& helpLines() {
    // The lines that name the maker take its names and addresses from maker.h.
    static const QString kLine4 = QStringLiteral("著作権者：") + kMakerName +
                                  QStringLiteral("　担当：") + kMakerContact +
                                  QStringLiteral("　E-mail：") + kMakerEmail;
    static const QString kLine6 = QStringLiteral("開発環境：") + kDevelopmentEnvironment;
    static const QString kLine92 = kMakerName + QStringLiteral("　") + kMakerContact;
    static const QString kLine93 = QStringLiteral("E-mail：") + kMakerEmail;
    static const QString kLine94 = QStringLiteral("URL   ：") + kMakerUrl;
    // Leading spaces matter: most indents are full-width (U+3000), a few are ASCII.
    static const QStringList lines{
        QStringLiteral("---------------------------------------------------------------------"),
        QStringLiteral("ソフト名：ヌマリカ Ver1.00"),
        QStringLiteral("書庫名　：numarika10.ZIP "),
        kLine4,
        QStringLiteral("対応機種：Windows95/98"),
        kLine6,
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("---------------------------------------------------------------------"),
        QStringLiteral("（ソフト紹介）"),
        QStringLiteral("　コンピュータの画面を取込み、印刷・保存・クリップボード転送が出来ます。"),
        QStringLiteral("　画像範囲指定も可能です。"),
        QStringLiteral(""),
        QStringLiteral("　用途としては、コンピュータ・アプリケーションの操作説明書を作成する時"),
        QStringLiteral("　にお使い下さい。クリップボード転送を利用すれば画像保存しないで他のソ"),
        QStringLiteral("　フトに貼り付けて行く事が出来ると思います。"),
        QStringLiteral("　Print Screenキーでのスキャン、マウスカーソル表示・非表示などが使用出"),
        QStringLiteral("　来ます。"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("（インストール）"),
        QStringLiteral("　前バージョンをインストールされている方は、前バージョンをアンインス"),
        QStringLiteral("　トールして下さい。"),
        QStringLiteral("  ダウンロードした書庫ファイルを一時的にフォルダに展開して下さい。"),
        QStringLiteral("  「Setup.exe」を実行すると、インストーラが起動します。"),
        QStringLiteral("  後は画面の表示に従ってインストールしてください。"),
        QStringLiteral(""),
        QStringLiteral("  最初に書庫から一時的にフォルダに展開したファイルはインストール後は"),
        QStringLiteral("  削除して構いません。"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("（操作方法）"),
        QStringLiteral("　・[ファイル]"),
        QStringLiteral("　　　　[名前を付けて保存]"),
        QStringLiteral("　　　　　スキャンした状態をjpg画像で保存します"),
        QStringLiteral("　　　　　　範囲指定した場合は、範囲指定内の画像を保存する"),
        QStringLiteral("　　　　　　範囲指定なしの場合は、全体の画像を保存する"),
        QStringLiteral(""),
        QStringLiteral("　　　　[クリップボード]"),
        QStringLiteral("　　　　　スキャンした状態をクリップボードへ転送します"),
        QStringLiteral("　　　　　　範囲指定した場合は、範囲指定内の画像をクリップボード転送する"),
        QStringLiteral("　　　　　　範囲指定なしの場合は、全体の画像をクリップボード転送する"),
        QStringLiteral(""),
        QStringLiteral("　　　　[印刷]"),
        QStringLiteral("　　　　　スキャンした状態を印刷します"),
        QStringLiteral("　　　　　　範囲指定した場合は、範囲指定内の画像を印刷する"),
        QStringLiteral("　　　　　　範囲指定なしの場合は、全体の画像を印刷する"),
        QStringLiteral(""),
        QStringLiteral("　　　　[終了]"),
        QStringLiteral("　　　　　ソフトを終了します"),
        QStringLiteral(""),
        QStringLiteral("　・[画像スキャン]"),
        QStringLiteral("　　　　[スキャン(Print Screenキー)]"),
        QStringLiteral("　　　　　デスクトップに表示されいる状態をスキャンする事が出来ます。"),
        QStringLiteral("　　　　　（Print Screenキーを押しても上記と同じ動作をします）"),
        QStringLiteral(""),
        QStringLiteral("　　　　[クリア]"),
        QStringLiteral("　　　　　スキャン画像を消去にします（初期画面）"),
        QStringLiteral(""),
        QStringLiteral("　・[オプション]"),
        QStringLiteral("　　　　[色の選択]"),
        QStringLiteral("　　　　　範囲指定線の色を指定出来ます"),
        QStringLiteral(""),
        QStringLiteral("　　　　[線の太さ]"),
        QStringLiteral("　　　　　範囲指定線の太さを指定出来ます"),
        QStringLiteral(""),
        QStringLiteral("　　　　[アプリケーション表示]"),
        QStringLiteral("　　　　　スキャン時にヌマリカ自身の表示・非表示を指定出来ます"),
        QStringLiteral(""),
        QStringLiteral("　　　　[マウスカーソル表示]"),
        QStringLiteral("　　　　　スキャン時にマウスカーソルの表示・非表示を指定出来ます"),
        QStringLiteral(""),
        QStringLiteral("　　　　[Print Screenキースキャン無効]"),
        QStringLiteral(
            "　　　　　キーボード上のPrint Screenキーを押してのスキャン動作を指定出来ます"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("（転載及び著作権について）"),
        QStringLiteral("　"),
        QStringLiteral("  "),
        QStringLiteral("　　"),
        QStringLiteral("　　"),
        QStringLiteral("　"),
        QStringLiteral("　"),
        QStringLiteral("　　"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("（謝辞）"),
        QStringLiteral("　感想、要望、バグ情報または作って欲しいプログラム等あればメールにて"),
        QStringLiteral("　連絡お願いします。"),
        QStringLiteral(""),
        QStringLiteral("---------------------------------------------------------------------"),
        kLine92,
        kLine93,
        kLine94,
        QStringLiteral("2000/08/31"),
        QStringLiteral("---------------------------------------------------------------------"),
    };
    return lines;
}

QString helpText() {
    QString text;
    for (const QString& line : helpLines()) text += line + QStringLiteral("\r\n");
    return text;
}

}  // namespace numarika
