#!/usr/bin/python3
"""Dialog template of the settings dialog (137), written as res/CSettingDlg.ui."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from uigen import Control as C, SUNKEN_CENTRED, prop, write  # noqa: E402

RES = os.path.join(os.path.dirname(__file__), '..', 'res')

SLIDER = [prop('orientation', '<enum>Qt::Horizontal</enum>'),
          prop('tickPosition', '<enum>QSlider::TicksAbove</enum>'),
          prop('tickInterval', '<number>2</number>'),
          prop('minimum', '<number>1</number>')]
PASSWORD = [prop('echoMode', '<enum>QLineEdit::Password</enum>')]
STRONG = 'StrongFocus'

# The value labels show every value their sliders reach: the count slider
# reaches the record count of the question file, so the labels are as wide as
# a count of six digits and its unit ("999999問"), and the sliders begin after
# them (the templates' 20 units held two digits).
LABEL_X, LABEL_W, SLIDER_X = 18, 37, 57

settings = [
    C('QPushButton', 'backButton', '戻る', 126, 290, 41, 14, 1, '戻る', focus=STRONG),
    C('QSlider', 'timeSlider', None, SLIDER_X, 55, 158 - SLIDER_X, 21, 1030, '制限時間', extra=SLIDER, focus=STRONG),
    C('QSlider', 'lifeSlider', None, SLIDER_X, 92, 158 - SLIDER_X, 21, 1031, 'ミス許容数', extra=SLIDER, focus=STRONG),
    C('QSlider', 'countSlider', None, SLIDER_X, 129, 159 - SLIDER_X, 21, 1032, '出題数', extra=SLIDER, focus=STRONG),
    C('QLabel', 'timeLabel', '', LABEL_X, 59, LABEL_W, 14, 1033, desc='制限時間', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'lifeLabel', '', LABEL_X, 95, LABEL_W, 14, 1034, desc='ミス許容数', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'countLabel', '', LABEL_X, 133, LABEL_W, 14, 1035, desc='出題数', extra=SUNKEN_CENTRED, tab=False),
    C('QPushButton', 'saveButton', '設定保存', 126, 274, 41, 14, 1036, '設定保存', disabled=True, focus=STRONG),
    C('QGroupBox', 'questionFileFrame', '●問題ファイル名', 14, 11, 153, 30, access='問題ファイル名'),
    C('QGroupBox', 'timeFrame', '●制限時間(1～60sec)', 14, 46, 153, 35, access='制限時間'),
    C('QGroupBox', 'lifeFrame', '●ミス許容数(1～99)', 14, 83, 153, 35, access='ミス許容数'),
    C('QGroupBox', 'countFrame', '●出題数', 14, 121, 153, 34, access='出題数'),
    C('QGroupBox', 'orderFrame', '●出題順序', 14, 270, 105, 34, access='出題順序', disabled=True),
    C('QRadioButton', 'fileOrderRadio', '登録順', 26, 284, 35, 11, 1039, '登録順', disabled=True, focus=STRONG),
    C('QRadioButton', 'randomOrderRadio', 'ランダム', 73, 284, 34, 11, 1040, 'ランダム', disabled=True,
      focus=STRONG),
    C('QLineEdit', 'smtpEdit', None, 40, 172, 122, 12, 1038, 'SMTP', focus=STRONG),
    C('QLineEdit', 'toEdit', None, 40, 187, 122, 12, 1041, 'TO', focus=STRONG),
    C('QLineEdit', 'fromEdit', None, 40, 201, 122, 12, 1042, 'FROM', focus=STRONG),
    C('QGroupBox', 'smtpFrame', '●smtp設定', 14, 159, 153, 103, access='smtp設定'),
    C('QLineEdit', 'idEdit', None, 40, 216, 122, 12, 1043, 'ID', focus=STRONG),
    C('QLineEdit', 'pwEdit', None, 40, 231, 122, 12, 1044, 'PW', extra=PASSWORD, focus=STRONG),
    C('QCheckBox', 'useAuthCheck', 'ユーザ認証', 69, 247, 47, 10, 1046, 'ユーザ認証', focus=STRONG),
    C('QLineEdit', 'portEdit', None, 40, 245, 23, 12, 1045, 'PORT', focus=STRONG),
    C('QLineEdit', 'questionFileEdit', None, 20, 22, 142, 12, 1019, '問題ファイル名', hidden=True, focus=STRONG),
    C('QGroupBox', 'authFrame', '●編集認証', 14, 270, 105, 34, access='編集認証'),
    C('QLineEdit', 'accessCodeEdit', None, 21, 282, 41, 12, 1047, '編集認証', extra=PASSWORD, focus=STRONG),
    C('QPushButton', 'authButton', '認証', 70, 281, 41, 14, 1037, '認証', focus=STRONG),
    C('QPushButton', 'testSendButton', 'テスト送信', 121, 245, 41, 14, 1048, 'テスト送信', focus=STRONG),
    C('QLabel', 'smtpCaption', 'SMTP', 16, 172, 23, 12, 1049, 'SMTP', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'toCaption', 'TO', 16, 187, 23, 12, 1050, 'TO', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'fromCaption', 'FROM', 16, 201, 23, 12, 1051, 'FROM', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'idCaption', 'ID', 16, 216, 23, 12, 1052, 'ID', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'pwCaption', 'PW', 16, 231, 23, 12, 1053, 'PW', extra=SUNKEN_CENTRED, tab=False),
    C('QLabel', 'portCaption', 'PORT', 16, 245, 23, 12, 1054, 'PORT', extra=SUNKEN_CENTRED, tab=False),
]
write(os.path.join(RES, 'CSettingDlg.ui'), 'CSettingDlg', '出題設定画面', 183, 321, settings)
