#!/usr/bin/python3
"""Dialog template of the question editor (134), written as res/CEditDlg.ui."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from uigen import Control as C, prop, write  # noqa: E402

RES = os.path.join(os.path.dirname(__file__), '..', 'res')
SUNKEN = [prop('frameShape', '<enum>QFrame::Panel</enum>'),
          prop('frameShadow', '<enum>QFrame::Sunken</enum>')]
PASSWORD = [prop('echoMode', '<enum>QLineEdit::Password</enum>')]
# The question-number list can hold a hundred thousand numbers: its width is
# fixed here and never measured from its items.
NUMBER_LIST = [prop('sizeAdjustPolicy', '<enum>QComboBox::AdjustToMinimumContentsLengthWithIcon</enum>'),
               prop('minimumContentsLength', '<number>6</number>'),
               prop('maxVisibleItems', '<number>20</number>')]


def answer_edit(i, cid):
    return C('QLineEdit', f'answerEdit{i}', None, 13, 92 + 14 * i, 228, 12, cid, f'解答{i}')


def correct_radio(i, cid):
    return C('QRadioButton', f'correctRadio{i}', None, 263, 93 + 14 * i, 12, 10, cid, f'正解{i}')


editor = [
    C('QLineEdit', 'accessCodeEdit', None, 203, 14, 44, 12, 1047, '編集認証', extra=PASSWORD),
    C('QPushButton', 'authButton', '認証', 251, 13, 27, 14, 1037, '認証'),
    C('QLabel', 'fileNameLabel', '', 13, 14, 174, 12, 1019, '', desc='問題ファイル名', hidden=True,
      extra=SUNKEN + [prop('textFormat', '<enum>Qt::PlainText</enum>')], tab=False),
    C('QComboBox', 'numberList', None, 13, 45, 50, 12, 1020, '問題番号', disabled=True, extra=NUMBER_LIST),
    C('QCheckBox', 'pictureCheck', '画像有', 75, 46, 40, 10, 1043, '画像有'),
    C('QComboBox', 'lastResultList', None, 203, 45, 75, 12, 1021, '前回結果', hidden=True, disabled=True),
    C('QLineEdit', 'questionEdit', None, 13, 76, 265, 12, 1000, '問題'),
    answer_edit(1, 1001),
    answer_edit(2, 1002),
    answer_edit(3, 1003),
    answer_edit(4, 1004),
    answer_edit(5, 1027),
    correct_radio(1, 1024),
    correct_radio(2, 1025),
    correct_radio(3, 1026),
    correct_radio(4, 1033),
    correct_radio(5, 1032),
    C('QPushButton', 'addButton', '追加', 12, 197, 34, 16, 1028, '追加', disabled=True),
    C('QPushButton', 'newFileButton', '新規', 51, 197, 34, 16, 1030, '新規', disabled=True),
    C('QPushButton', 'updateButton', '更新', 90, 197, 34, 16, 1029, '更新', disabled=True),
    C('QPushButton', 'deleteFileButton', '削除', 129, 197, 34, 16, 1031, '削除', disabled=True),
    C('QPushButton', 'backButton', '戻る', 168, 197, 34, 16, 1, '戻る'),
    C('QPushButton', 'deleteQuestionButton', '問削除', 207, 197, 34, 16, 2, '問削除', disabled=True),
    C('QPushButton', 'clearButton', 'クリア', 246, 197, 34, 16, 3, 'クリア', disabled=True),
    C('QGroupBox', 'fileNameFrame', '●問題ファイル名', 7, 2, 186, 30, access='問題ファイル名'),
    C('QGroupBox', 'authFrame', '●編集認証', 197, 2, 87, 30, access='編集認証'),
    C('QGroupBox', 'numberFrame', '●問題番号', 7, 33, 62, 30, access='問題番号'),
    C('QGroupBox', 'lastResultFrame', '●前回結果', 197, 33, 87, 30, access='前回結果', hidden=True, disabled=True),
    C('QGroupBox', 'questionFrame', '●問題', 7, 64, 277, 29, access='問題'),
    C('QGroupBox', 'answersFrame', '●解答群', 7, 94, 240, 87, access='解答群'),
    C('QGroupBox', 'correctFrame', '正解', 251, 94, 33, 87, access='正解'),
    C('QGroupBox', 'buttonsFrame', '●編集ボタン', 7, 182, 277, 42, access='編集ボタン'),
]
write(os.path.join(RES, 'CEditDlg.ui'), 'CEditDlg', '編集画面', 291, 228, editor)
