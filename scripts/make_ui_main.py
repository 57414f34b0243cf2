#!/usr/bin/python3
"""Dialog templates of the main window (102), the judge popup (132) and the
About box (100), written as res/*.ui."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from uigen import Control as C, SUNKEN_CENTRED, prop, string, write  # noqa: E402

RES = os.path.join(os.path.dirname(__file__), '..', 'res')
RO = [prop('readOnly', '<bool>true</bool>')]

main = [
    C('QPushButton', 'answerButton1', '1', 17, 225, 34, 16, 1010, '1', disabled=True, focus='StrongFocus'),
    C('QPushButton', 'answerButton2', '2', 56, 225, 34, 16, 1011, '2', disabled=True, focus='StrongFocus'),
    C('QPushButton', 'answerButton3', '3', 95, 225, 34, 16, 1012, '3', disabled=True, focus='StrongFocus'),
    C('QPushButton', 'answerButton4', '4', 134, 225, 34, 16, 1013, '4', disabled=True, focus='StrongFocus'),
    C('QPushButton', 'startButton', '開始', 21, 266, 40, 21, 1016, '開始', focus='StrongFocus'),
    C('QPushButton', 'stopButton', '停止', 69, 266, 40, 21, 1017, '停止', disabled=True, focus='StrongFocus'),
    C('QPushButton', 'editButton', '編集', 117, 266, 40, 21, 1015, '編集', focus='StrongFocus'),
    C('QPushButton', 'quitButton', '終了', 165, 266, 40, 21, 1018, '終了', focus='StrongFocus'),
    C('QLineEdit', 'questionEdit', None, 19, 23, 318, 12, 1000, '問題', extra=RO, focus='ClickFocus', tab=False),
    C('QLineEdit', 'answerEdit1', None, 35, 59, 262, 13, 1001, '解答1', extra=RO, focus='ClickFocus', tab=False),
    C('QLineEdit', 'answerEdit2', None, 35, 80, 262, 13, 1002, '解答2', extra=RO, focus='ClickFocus', tab=False),
    C('QLineEdit', 'answerEdit3', None, 35, 101, 262, 13, 1003, '解答3', extra=RO, focus='ClickFocus', tab=False),
    C('QLineEdit', 'answerEdit4', None, 35, 122, 263, 13, 1004, '解答4', extra=RO, focus='ClickFocus', tab=False),
    C('QLineEdit', 'answerEdit5', None, 35, 143, 263, 13, 1027, '解答5', extra=RO, focus='ClickFocus', tab=False),
    C('CLampStatic', 'lamp1', '', 317, 80, 23, 18, 1005, '誤答残数1', hidden=True, extra=SUNKEN_CENTRED, tab=False),
    C('CLampStatic', 'lamp2', '', 317, 101, 23, 18, 1006, '誤答残数2', hidden=True, extra=SUNKEN_CENTRED, tab=False),
    C('CLampStatic', 'lamp3', '', 317, 123, 23, 18, 1007, '誤答残数3', hidden=True, extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'lampHeading', '*誤答残数', 317, 59, 23, 18, 1008, '*誤答残数', hidden=True, extra=SUNKEN_CENTRED, tab=False),
    C('QProgressBar', 'timeBar', None, 19, 314, 319, 14, 1009, '制限時間', tab=False,
      extra=[prop('value', '<number>0</number>'), prop('textVisible', '<bool>false</bool>')]),
    C('QLabel', 'answerNumber1', '1', 18, 59, 12, 14, 1019, '1', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'answerNumber2', '2', 18, 80, 12, 14, 1020, '2', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'answerNumber3', '3', 18, 101, 12, 14, 1021, '3', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'answerNumber4', '4', 18, 122, 12, 14, 1022, '4', extra=SUNKEN_CENTRED, tab=False),
    C('QGroupBox', 'controlButtonsFrame', '●コントロールボタン', 13, 252, 200, 44, access='コントロールボタン'),
    C('QGroupBox', 'answerButtonsFrame', '●解答ボタン', 13, 214, 200, 34, access='解答ボタン'),
    C('QGroupBox', 'timeLimitFrame', '●制限時間', 13, 301, 332, 33, access='制限時間'),
    C('QGroupBox', 'answersFrame', '●解答群', 13, 47, 332, 121, access='解答群'),
    C('QGroupBox', 'questionFrame', '●問題', 13, 10, 332, 33, access='問題'),
    C('QGroupBox', 'lampFrame', '', 311, 47, 34, 102, access='誤答残数', hidden=True),
    C('QLabel', 'picture', None, 222, 184, 14, 15, 1042, '画像', tab=False,
      extra=[prop('frameShape', '<enum>QFrame::Panel</enum>'), prop('frameShadow', '<enum>QFrame::Sunken</enum>')]),
    C('QGroupBox', 'progressFrame', '●進行度', 169, 176, 44, 34, access='進行度'),
    C('QLabel', 'progressLabel', '', 174, 188, 33, 14, 1024, desc='進行度', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'answerNumber5', '5', 18, 142, 12, 14, 1026, '5', extra=SUNKEN_CENTRED, tab=False),
    C('QPushButton', 'answerButton5', '5', 174, 225, 34, 16, 1029, '5', disabled=True, focus='StrongFocus'),
    C('QLineEdit', 'nameEdit', None, 17, 187, 145, 13, 1028, '氏名', focus='ClickFocus', tab=False),
    C('QGroupBox', 'nameFrame', '●氏名（必須 例：試験太郎）', 13, 176, 153, 34, access='氏名'),
]
write(os.path.join(RES, 'CTestDlg.ui'), 'CTestDlg', 'Molvane Ver 1.0.0', 359, 350, main, menu_layout=True)

judge = [
    C('QLabel', 'verdictLabel', '', 15, 14, 76, 13, 1015, desc='正誤判定', hidden=True, extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'noticeLabel', '', 15, 33, 76, 13, 1016, desc='正誤判定', extra=SUNKEN_CENTRED, tab=False),
    C('QGroupBox', 'judgeFrame', '', 7, 3, 93, 50, access='正誤判定'),
]
write(os.path.join(RES, 'CJudgeDlg.ui'), 'CJudgeDlg', '正誤判定', 107, 62, judge)

about = [
    # A static showing an icon takes the icon's size, 32 x 32 pixels.
    C('QLabel', 'iconLabel', None, 11, 12, 20, 20, access='アイコン', tab=False, pixels=(32, 32)),
    C('QLabel', 'versionLabel', 'Molvane Version 1.0.0', 36, 12, 101, 8, access='Molvane Version 1.0.0',
      extra=[prop('textFormat', '<enum>Qt::PlainText</enum>')], tab=False),
    C('QLabel', 'noticeLabel', '(C) 2026 Molvane 開発チーム', 36, 26, 100, 8,
      access='(C) 2026 Molvane 開発チーム', tab=False),
    C('QPushButton', 'closeButton', '閉じる', 107, 64, 36, 14, 1, '閉じる', extra=[prop('default', '<bool>true</bool>')]),
    C('QLabel', 'contactLabel', 'molvane@example.org', 37, 40, 85, 8, access='molvane@example.org', tab=False),
    C('QGroupBox', 'aboutFrame', '', 7, 2, 136, 58, access='バージョン情報'),
]
write(os.path.join(RES, 'CAboutDlg.ui'), 'CAboutDlg', 'バージョン情報', 150, 85, about)
