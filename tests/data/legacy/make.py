#!/usr/bin/env python3
# Writes the legacy-encoded sources of line_file_test and, beside each, the UTF-8 text that
# Python's own codecs read from its bytes: sentences with backslashes and tildes, and with the
# characters that a label and the encoding files so labelled are written in read differently.
# Run it again after changing a sentence: python3 make.py
import os, sys, unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))

JAPANESE = """設定ファイルは C:\\Users\\hanako\\設定.ini に置いてあります。
ホームの ~/.profile を開いて、PATH の値を確かめてください。
料金は１０００円～２０００円です（税込み）。
今朝の気温は－３度、昼は＋５度まで上がりました。
手順①で保存して、手順②でウィンドウを閉じます。
取引先は㈱山田製作所と㈲川口商店の二社です。
円記号の ￥ と逆斜線の \\ は別の文字として扱います。
東京～大阪間は新幹線で約２時間半かかります。
平行記号 ∥ と否定記号 ￢ を表に書き込みました。
ﾃﾞｰﾀﾍﾞｰｽの半角カナもそのまま読めるはずです。
正規表現 ^[a-z]+~$ は行末のチルダに一致します。
"""

KOREAN = """파일은 C:\\Users\\minsu\\문서 폴더에 저장됩니다.
홈 디렉터리의 ~/.bashrc 파일을 열어서 경로를 확인하세요.
똠방각하와 햏자는 예전 통신 시절의 유행어였습니다.
뷁! 하고 외치는 소리에 교실의 모두가 웃었다.
오늘 서울의 날씨는 맑고 기온은 스물다섯 도입니다.
가격은 ￦10,000 ~ ￦20,000 사이에서 정해집니다.
쌰갈쭈뷃 같은 글자도 이 인코딩으로 적을 수 있습니다.
"""

TRADITIONAL = """檔案存放在 C:\\Users\\siuming\\文件 資料夾裡。
請打開 ~/.bashrc 檔案，檢查一下路徑設定。
佢哋今日冇返學，因為落咗好大雨。
我食咗飯先，你喺度等陣啦。
呢啲嘢好貴㗎，唔好買住。
香港的夏天非常潮濕，冬天卻很乾燥。
會議時間：上午９時～１１時‧地點：台北／高雄，費用＄５００。
這份報告一共有十二頁，請在星期五前交回。
"""

SIMPLIFIED = """文件保存在 C:\\Users\\xiaoming\\文档 目录中。
请打开 ~/.bashrc 文件，检查一下路径设置。
今天北京天气晴朗，气温二十五度左右。
朱镕基和陶喆的名字里有国标二三一二以外的字。
这份报告一共十二页，请在星期五之前交回。
"""

TURKISH = """Dosya C:\\Kullanıcılar\\ayşe\\belgeler klasöründe duruyor.
Fiyatı 25 € civarında; „indirim“ yok, “kampanya” da yok…
Işık, ğ, ş, ç, ö, ü ve İstanbul’da içilen çay – hepsi burada.
~/ayarlar dosyasını açın — sonra değişiklikleri kaydedin.
Şehrin ortasındaki ağaçların gölgesinde oturduk.
"""

THAI = """ไฟล์อยู่ที่ C:\\Users\\somchai\\เอกสาร ในเครื่องนี้
ราคา 100 € … “พิเศษ” ~ ลดราคาเฉพาะวันนี้
ภาษาไทยเป็นภาษาที่มีวรรณยุกต์และสระหลายแบบ
สวัสดีครับ – ยินดีต้อนรับสู่ร้านกาแฟของเรา
กรุณาเปิดไฟล์ ~/.bashrc แล้วตรวจดูเส้นทางอีกครั้ง
"""

HEBREW = """שָׁלוֹם עֲלֵיכֶם, מָה שְׁלוֹמְךָ הַיּוֹם?
הקובץ נמצא ב־C:\\Users\\dana\\מסמכים במחשב הזה.
בְּרֵאשִׁית בָּרָא אֱלֹהִים אֵת הַשָּׁמַיִם.
המחיר הוא 50 ₪ בלבד – פתחו את ~/.bashrc ובדקו.
שַׂמְחָה וְשָׂשׂוֹן בְּכָל הַבַּיִת.
אנחנו נפגשים כל יום שני בערב בספרייה העירונית שליד הפארק.
הילדים שיחקו בחצר עד שהשמש שקעה מאחורי ההרים.
"""

VIETNAMESE = """Tệp nằm ở C:\\Users\\lan\\Tài liệu trên máy này.
Tiếng Việt có sáu thanh điệu và nhiều dấu phụ.
Hãy mở tệp ~/.bashrc rồi kiểm tra lại đường dẫn.
Giá chỉ 20.000 ₫ một ly cà phê sữa đá ở đây.
Người dân thành phố thức dậy rất sớm mỗi sáng.
"""

RUSSIAN = """Файл лежит в папке C:\\Users\\ivan\\Документы на этом компьютере.
Цена — 100 € за штуку; «скидки» сегодня нет.
Откройте файл ~/.bashrc и проверьте путь ещё раз.
Съешь же ещё этих мягких французских булок да выпей чаю.
Ґанок и ґудзик пишутся с буквой ґ по-украински.
"""


def sjis_to_eucjp(data):
    """Shift_JIS bytes as EUC-JP: the same JIS rows and cells, halfwidth katakana after 0x8E."""
    out = bytearray()
    i = 0
    while i < len(data):
        b = data[i]
        if b < 0x80:
            out.append(b)
            i += 1
        elif 0xA1 <= b <= 0xDF:
            out += bytes([0x8E, b])
            i += 1
        else:
            t = data[i + 1]
            if b >= 0xED:  # NEC-selected and IBM extensions: no JIS X 0208 row holds them
                raise ValueError('not in EUC-JP: %02X%02X' % (b, t))
            row = ((b - 0x40 if b >= 0xE0 else b) - 0x81) * 2 + 1
            if t >= 0x9F:
                row += 1
                cell = t - 0x9E
            else:
                cell = t - 0x3F - (1 if t > 0x7F else 0)
            out += bytes([row + 0xA0, cell + 0xA0])
            i += 2
    return bytes(out)


def big5_encode(text):
    """Big5 as Windows writes its own rows A1 to A3 (punctuation), HKSCS for the rest."""
    out = bytearray()
    for ch in text:
        try:
            b = ch.encode('cp950')
            if len(b) == 2 and 0xA1 <= b[0] <= 0xA3:
                out += b
                continue
        except UnicodeEncodeError:
            pass
        out += ch.encode('big5hkscs')
    return bytes(out)


def big5_decode(data):
    """The standard's Big5: rows A1 to A3 as Windows reads them, every other one as HKSCS."""
    out = []
    i = 0
    while i < len(data):
        n = 2 if data[i] >= 0x81 and i + 1 < len(data) else 1
        chunk = data[i:i + n]
        out.append(chunk.decode('cp950' if 0xA1 <= data[i] <= 0xA3 else 'big5hkscs'))
        i += n
    return ''.join(out)


def cp1258_form(text):
    """The text as Windows-1258 writes Vietnamese: letters with their vowel marks, tone marks after."""
    tones = {'\u0300', '\u0301', '\u0303', '\u0309', '\u0323'}
    out = []
    for ch in unicodedata.normalize('NFD', text):
        if not unicodedata.combining(ch):
            out.append([ch, ''])
        elif ch in tones:
            out[-1][1] += ch
        else:
            out[-1][0] = unicodedata.normalize('NFC', out[-1][0] + ch)
    return ''.join(letter + marks for letter, marks in out)


# name, text, how to encode it, how Python decodes the bytes
SOURCES = [
    ('shift_jis', JAPANESE, lambda t: t.encode('cp932'), lambda b: b.decode('cp932')),
    ('euc-jp', JAPANESE, lambda t: sjis_to_eucjp(t.encode('cp932')), None),
    ('euc-kr', KOREAN, lambda t: t.encode('cp949'), lambda b: b.decode('cp949')),
    ('big5', TRADITIONAL, big5_encode, big5_decode),
    ('gbk', SIMPLIFIED, lambda t: t.encode('gbk'), lambda b: b.decode('gb18030')),
    ('iso-8859-9', TURKISH, lambda t: t.encode('cp1254'), lambda b: b.decode('cp1254')),
    ('tis-620', THAI, lambda t: t.encode('cp874'), lambda b: b.decode('cp874')),
    ('windows-1255', HEBREW, lambda t: t.encode('cp1255'), lambda b: b.decode('cp1255')),
    ('windows-1258', VIETNAMESE, lambda t: cp1258_form(t).encode('cp1258'), lambda b: b.decode('cp1258')),
    ('x-mac-cyrillic', RUSSIAN, lambda t: t.encode('mac_cyrillic'), lambda b: b.decode('mac_cyrillic')),
]


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else HERE
    for name, text, encode, decode in SOURCES:
        data = encode(text)
        if decode is None:  # EUC-JP: Python reads the same rows and cells through Shift_JIS
            decoded = text.encode('cp932').decode('cp932')
        else:
            decoded = decode(data)
        with open(os.path.join(out_dir, name + '.txt'), 'wb') as f:
            f.write(data)
        with open(os.path.join(out_dir, name + '.utf8'), 'wb') as f:
            f.write(decoded.encode('utf-8'))


if __name__ == '__main__':
    main()
