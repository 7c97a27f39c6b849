#!/usr/bin/python3
# Makes the seeds of the text fuzz targets: fuzz/corpus/ini/ (the library's own INI files, each behind the section,
# key and value that the target writes), fuzz/corpus/to_number/ (numbers as users and pages write them) and
# fuzz/corpus/list_page/ (list pages of both kinds, fetched from the demo site when one is given).
# Usage: fuzz/make_text_seeds.py [DEMO_SITE]      (e.g. build/tools/demosite/paveno-demo-site)
import os
import re
import subprocess
import sys
import urllib.request

TOP = os.path.dirname(os.path.abspath(__file__))


def out(target, name, data):
    folder = os.path.join(TOP, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def gbk(text):
    return text.encode("gbk")


# The INI target reads a section, a key and a value, each ended by a backslash and another byte (a doubled
# backslash is one backslash), then takes its last byte as the operation (0 write, 1 delete the key, 2 delete the
# section) and the bytes between as the file.
def ini_seed(section, key, value, content, op):
    field = lambda b: b.replace(b"\\", b"\\\\") + b"\\;"
    content = content if isinstance(content, bytes) else gbk(content)
    return field(gbk(section)) + field(gbk(key)) + field(gbk(value)) + content + bytes([op])


index = "[小说]\r\n斗破苍穹=/home/u/.local/share/paveno\\小说\\完本\\玄幻小说\\斗破苍穹.rar\r\n" \
        "武动乾坤=/home/u/.local/share/paveno\\小说\\连载中\\玄幻奇幻\\武动乾坤.rar\r\n"
out("ini", "index-write", ini_seed("小说", "书名", "/r\\小说\\完本\\书名.rar", index, 0))
out("ini", "index-replace", ini_seed("小说", "斗破苍穹", "/r\\小说\\同人小说\\x.rar", index, 0))
out("ini", "author", ini_seed("斗破苍穹", "作者", "天蚕土豆", "[斗破苍穹]\r\n作者=天蚕土豆\r\n", 0))
out("ini", "settings-lf", ini_seed("采集", "连接数", "2", "[采集]\n连接数=4\n", 0))
out("ini", "comments-delete-key",
    ini_seed("小说", "书名", "", "; 注释\r\n\r\n[小说]\r\n 书名 = \"引号\" \r\n[小说]\r\n书名=第二\r\n[其他]\r\nx=y", 1))
out("ini", "bom-delete-section", ini_seed("采集", "", "", b"\xef\xbb\xbf" + gbk("[采集]\r\n连接数 =8\r\n[小说]\r\na=b\r\n"), 2))

for i, number in enumerate(["0", "12", "-3.5", "+7", ".5", "3.", "1e10", "-2.5E-3", "  42abc", "1,000", "&H1F",
                            "1.7976931348623157e308", "99999999999999999999999", "-0", "１２", "NaN", "inf", "1e-400"]):
    out("to_number", "n%02d" % i, gbk(number))


# The list-page target takes an input of odd length as a finished category's page, of even length as a serialised
# one's: a page of the wrong parity gets a blank at its end.
def page_seed(name, page, finished):
    if len(page) % 2 != (1 if finished else 0):
        page += b" "
    out("list_page", name, page)


if len(sys.argv) < 2:
    sys.exit(0)
site = subprocess.Popen([sys.argv[1], "--port", "0", "--books-per-category", "25"], stdout=subprocess.PIPE, text=True)
try:
    port = int(re.search(r"127\.0\.0\.1:(\d+)", site.stdout.readline()).group(1))
    direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))  # no proxy for the loopback
    fetch = lambda path: direct.open("http://127.0.0.1:%d%s" % (port, path)).read()
    page_seed("finished-full", fetch("/wanben/xh/tuijian1.html"), True)
    page_seed("finished-last", fetch("/wanben/xh/tuijian2.html"), True)
    page_seed("finished-end", fetch("/wanben/xh/tuijian3.html"), True)
    page_seed("serialised-full", fetch("/wuxia/list2-1.html"), False)
    page_seed("serialised-end", fetch("/wuxia/list2-3.html"), False)
finally:
    site.terminate()
    site.wait()
