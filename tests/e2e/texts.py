"""The installer's texts as the user must see them (UTF-8), in one place.

Message-box texts are what the box shows: an optional folder line and an
empty line above the question (see folder_question).
"""

TITLE = "Quorvalinex Ver1.22 ｾｯﾄｱｯﾌﾟ"

# Dialog controls by dialog, then control id.
DIALOG_101 = {
    1001: "‘ReadMe.txt’を見る (&R)",
    1002: "ｲﾝｽﾄｰﾙする (&X)",
    2: "処理中止",
}
DIALOG_101_PROMPT = "処理を選択して下さい"

DIALOG_102 = {
    2: "中止",
}
DIALOG_102_PROMPT = "以下のﾌｧｲﾙを解凍しています"

DIALOG_103 = {
    1007: "参照(&R)",
    1008: "ｽﾀｰﾄﾒﾆｭｰにQuorvalinexを追加する(&M)",
    1009: "ﾃﾞｽｸﾄｯﾌﾟにQuorvalinexのｼｮｰﾄｶｯﾄを作成する(&S)",
    1: "OK",
    2: "ｷｬﾝｾﾙ",
}

# String table.
S = {
    2001: TITLE,
    2002: "ﾌｫﾙﾀﾞを選択して下さい",
    2003: "Program Files\\Quorvalinex",
    2004: "Quorvalinex",
    2005: "Quorvalinexへのｼｮｰﾄｶｯﾄ",
    2006: "‘Readme.txt’を解凍するﾌｫﾙﾀﾞを指定して下さい(&F)",
    2007: "Quorvalinexをｲﾝｽﾄｰﾙするﾌｫﾙﾀﾞを指定して下さい(&F)",
    2008: "ｲﾝｽﾄｰﾙ済みのQuorvalinexを探しますか？\n"
          "（ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞを自分で入力する場合は「いいえ」を選択して下さい）",
    2009: "このﾌｫﾙﾀﾞは存在しません。\n作成しますか？",
    2010: "このﾌｫﾙﾀﾞには既に‘Readme.txt’が存在します。\n上書きしますか？",
    2011: "このﾌｫﾙﾀﾞにQuorvalinexが既にｲﾝｽﾄｰﾙされています。\n上書きｲﾝｽﾄｰﾙしますか？\n\n"
          "（ｽﾀｰﾄﾒﾆｭｰへの登録、ﾃﾞｽｸﾄｯﾌﾟへのｼｮｰﾄｶｯﾄの\n追加を行なう場合は「いいえ」を選択して下さい）",
    2012: "ｲﾝｽﾄｰﾙは完了しました。\n今すぐQuorvalinexを起動しますか？",
    2013: "ﾌｫﾙﾀﾞを作成できません",
    2014: "ﾌｧｲﾙを作成できません",
    2015: "ﾌｧｲﾙにｱｸｾｽできません",
    2016: "ﾌｧｲﾙを解凍できません",
    2017: "ﾊﾟｽ名が無効です",
}


def folder_question(folder, sid):
    """A question shown below a folder: the folder without its trailing
    backslash (a drive root keeps it), an empty line, the question."""
    if len(folder) > 3 and folder.endswith("\\"):
        folder = folder[:-1]
    return folder + "\n\n" + S[sid]
