#!/usr/bin/python3
"""Writes the bundled sample data into sample/: the question file
sample0524.txt (500-byte Shift-JIS records), its pictures in 256bitmap/
(212 x 150 bitmaps, 000.bmp being the picture shown between tests), a
ReadMe.txt and a demo Parameter.INI."""
import os
import struct

OUT = os.path.join(os.path.dirname(__file__), '..', 'sample')
W, H = 212, 150

# (picture, question, answers, index of the correct answer 0-4)
QUESTIONS = [
    ('001', 'この国旗はどの国のものですか？', ['日本', '中国', '韓国', 'ベトナム', 'タイ'], 0),
    ('000', '日本で一番高い山はどれですか？', ['北岳', '富士山', '奥穂高岳', '槍ヶ岳', '御嶽山'], 1),
    ('000', '日本で一番長い川はどれですか？', ['利根川', '石狩川', '信濃川', '北上川', '木曽川'], 2),
    ('002', '図の三角形の内角の和は何度ですか？', ['９０度', '１２０度', '２７０度', '１８０度', '３６０度'], 3),
    ('000', '一年で昼が最も長い日を何といいますか？', ['春分', '秋分', '冬至', '大寒', '夏至'], 4),
    ('000', '水が沸騰する温度は１気圧で約何度ですか？', ['１００度', '５０度', '８０度', '１２０度', '２００度'], 0),
    ('003', '信号機で「止まれ」を表す色はどれですか？', ['青', '赤', '黄', '白', '緑'], 1),
    ('000', '太陽系で一番大きな惑星はどれですか？', ['地球', '土星', '木星', '火星', '金星'], 2),
    ('000', '「源氏物語」の作者は誰ですか？', ['清少納言', '小野小町', '和泉式部', '紫式部', '与謝野晶子'], 3),
    ('000', '１ダースは何個ですか？', ['１０個', '６個', '２４個', '２０個', '１２個'], 4),
    ('004', '図の地図記号は何を表していますか？', ['郵便局', '学校', '病院', '神社', '消防署'], 0),
    ('000', '日本の首都はどこですか？', ['大阪', '東京', '京都', '名古屋', '横浜'], 1),
    ('000', '光の三原色に含まれないものはどれですか？', ['赤', '緑', '黄', '青', 'どれも含まれる'], 2),
    ('000', '1年は何日ですか（うるう年を除く）？', ['３６０日', '３６６日', '３５４日', '３６５日', '３７０日'], 3),
    ('005', '図の時計は何時を指していますか？', ['１時', '６時', '９時', '１２時', '３時'], 4),
    ('000', '日本で一番面積の大きい都道府県はどこですか？', ['北海道', '岩手県', '福島県', '長野県', '新潟県'], 0),
    ('000', '正六角形の辺の数はいくつですか？', ['５', '６', '７', '８', '１０'], 1),
    ('000', '次のうち哺乳類はどれですか？', ['ペンギン', 'サメ', 'クジラ', 'カメ', 'カエル'], 2),
    ('000', '「枕草子」の作者は誰ですか？', ['紫式部', '松尾芭蕉', '吉田兼好', '清少納言', '鴨長明'], 3),
    ('000', '地球の衛星は何ですか？', ['火星', '金星', '太陽', '彗星', '月'], 4),
    ('000', '日本の国会は何院制ですか？', ['二院制', '一院制', '三院制', '四院制', '五院制'], 0),
    ('000', '１キロメートルは何メートルですか？', ['１００メートル', '１０００メートル', '１０メートル', '１００００メートル', '５００メートル'], 1),
    ('000', '元素記号「Ｏ」が表す元素はどれですか？', ['金', '銀', '酸素', '水素', '炭素'], 2),
    ('000', '日本の祝日「文化の日」は何月何日ですか？', ['５月５日', '１月１日', '２月１１日', '１１月３日', '７月２０日'], 3),
]


def sjis(text):
    return text.encode('cp932')


def record(picture, question, answers, correct):
    head = (picture.encode('ascii') + b'N' + sjis(question))[:100].ljust(100, b' ')
    assert len(sjis(question)) <= 96, question
    slots = b''
    for i, a in enumerate(answers):
        assert len(sjis(a)) <= 78, a
        slots += ((b'*' if i == correct else b' ') + sjis(a))[:79].ljust(80, b' ')
    r = head + slots
    assert len(r) == 500
    return r


def bmp(path, pixel):
    """A 24-bit bitmap; pixel(x, y) gives (r, g, b) with y from the top."""
    row = (W * 3 + 3) & ~3
    data = bytearray()
    for y in range(H - 1, -1, -1):
        line = bytearray()
        for x in range(W):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + b'\0' * (row - len(line))
    header = b'BM' + struct.pack('<IHHI', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + data)


def blank(x, y):
    # A quiet blue-grey gradient with a white rounded card in the middle.
    base = (200 - y // 3, 215 - y // 4, 235)
    if 26 <= x < W - 26 and 30 <= y < H - 30:
        return (250, 250, 250)
    return base


def flag(x, y):
    cx, cy = W / 2, H / 2
    return (188, 0, 45) if (x - cx) ** 2 + (y - cy) ** 2 <= (H * 0.3) ** 2 else (255, 255, 255)


def triangle(x, y):
    # Outline of a triangle with corners (30,130) (182,130) (106,20).
    def side(ax, ay, bx, by):
        return (bx - ax) * (y - ay) - (by - ay) * (x - ax)
    a = side(30, 130, 182, 130)
    b = side(182, 130, 106, 20)
    c = side(106, 20, 30, 130)
    inside = (a <= 0 and b <= 0 and c <= 0) or (a >= 0 and b >= 0 and c >= 0)
    return (40, 90, 170) if inside else (255, 255, 255)


def signal(x, y):
    if not (16 <= y < 134 and 10 <= x < 202):
        return (235, 235, 235)
    for i, colour in enumerate([(40, 120, 255), (255, 200, 0), (230, 30, 30)]):
        cx = 46 + i * 60
        if (x - cx) ** 2 + (y - 75) ** 2 <= 24 ** 2:
            return colour
    return (60, 60, 60)


def post_office(x, y):
    # The map symbol: a circle around a T-like mark.
    cx, cy = W / 2, H / 2
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    if 52 <= d <= 58:
        return (200, 30, 30)
    if cy - 30 <= y <= cy - 22 and cx - 30 <= x <= cx + 30:
        return (200, 30, 30)
    if cy - 14 <= y <= cy - 6 and cx - 30 <= x <= cx + 30:
        return (200, 30, 30)
    if cy - 6 <= y <= cy + 36 and cx - 4 <= x <= cx + 4:
        return (200, 30, 30)
    return (255, 255, 255)


def clock(x, y):
    cx, cy = W / 2, H / 2
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    if 60 <= d <= 65:
        return (30, 30, 30)
    if d < 60:
        # Hour hand to 3 o'clock, minute hand to 12.
        if cx <= x <= cx + 35 and abs(y - cy) <= 3:
            return (30, 30, 30)
        if cy - 50 <= y <= cy and abs(x - cx) <= 2:
            return (30, 30, 30)
        return (255, 250, 235)
    return (220, 230, 240)


def main():
    os.makedirs(os.path.join(OUT, '256bitmap'), exist_ok=True)
    with open(os.path.join(OUT, 'sample0524.txt'), 'wb') as f:
        for q in QUESTIONS:
            f.write(record(*q))
    pics = {'000': blank, '001': flag, '002': triangle, '003': signal, '004': post_office, '005': clock}
    for name, fn in pics.items():
        bmp(os.path.join(OUT, '256bitmap', name + '.bmp'), fn)
    readme = (
        'Molvane サンプルデータ\n\n'
        'sample0524.txt  … 一般常識の五択問題（{} 問）\n'
        '256bitmap\\      … 問題の画像（000.bmp は待機中に表示する画像）\n'
        'Parameter.INI   … 設定ファイル（制限時間 20 秒、ミス許容数 3、出題数 10、メール送信なし）\n\n'
        '「開始」の前に氏名を入力して下さい。\n'
        '設定の変更は メニュー「設定」→「出題設定」で行います（認証は空欄のまま）。\n'
    ).format(len(QUESTIONS))
    with open(os.path.join(OUT, 'ReadMe.txt'), 'wb') as f:
        f.write(sjis(readme).replace(b'\n', b'\r\n'))
    ini = ('[LIFE]\n1=3\n[TIME_LIMIT]\n1=20\n[QUESTION]\n1=sample0524.txt\n[SMTP]\n1=\n[FROM]\n1=\n[TO]\n1=\n'
           '[ID]\n1=\n[PW]\n1=\n[PORT]\n1=25\n[QUESTION_CNT]\n1=10\n[SEQ]\n1=1\n[SOUND]\nSW=1\n[MAIL]\n1=0\n')
    with open(os.path.join(OUT, 'Parameter.INI'), 'wb') as f:
        f.write(sjis(ini).replace(b'\n', b'\r\n'))


main()
