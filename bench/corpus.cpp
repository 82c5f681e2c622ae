#include "corpus.h"

#include "random.h"

#include "document/sjistext.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

using Word = std::u16string_view;

constexpr std::array<Word, 64> kanjiWords = {
    u"日本",   u"東京",   u"時間",   u"今日",   u"自分",   u"問題",   u"社会",   u"世界",
    u"経済",   u"政治",   u"文化",   u"歴史",   u"研究",   u"技術",   u"情報",   u"関係",
    u"開発",   u"教育",   u"生活",   u"環境",   u"会社",   u"仕事",   u"結果",   u"説明",
    u"文書",   u"編集",   u"印刷",   u"保存",   u"書式",   u"段落",   u"文字",   u"表示",
    u"画面",   u"操作",   u"設定",   u"変更",   u"機能",   u"利用",   u"方法",   u"必要",
    u"場合",   u"内容",   u"目的",   u"理由",   u"意味",   u"言葉",   u"写真",   u"電話",
    u"新聞",   u"天気",   u"季節",   u"春",     u"夏",     u"秋",     u"冬",     u"山",
    u"川",     u"海",     u"駅前",   u"図書館", u"大学",   u"先生",   u"学生",   u"友達",
};

constexpr std::array<Word, 40> kanaWords = {
    u"の",     u"に",     u"は",     u"を",     u"が",     u"で",       u"と",       u"も",
    u"から",   u"まで",   u"より",   u"へ",     u"や",     u"など",     u"について", u"として",
    u"による", u"のため", u"である", u"でした", u"します", u"しました", u"される",   u"された",
    u"できる", u"ない",   u"なる",   u"あり",   u"いる",   u"ある",     u"ように",   u"ことが",
    u"ものの", u"しかし", u"また",   u"そして", u"すでに", u"かなり",   u"とても",   u"ちょっと",
};

constexpr std::array<Word, 16> katakanaWords = {
    u"コンピュータ", u"データ",   u"システム", u"ファイル", u"テキスト", u"エディタ",
    u"プログラム",   u"ネットワーク", u"メール", u"ウィンドウ", u"フォント", u"プリンタ",
    u"メモリ",       u"キーボード", u"マウス", u"ソフトウェア",
};

constexpr std::array<Word, 12> asciiWords = {
    u"Windows", u"CP932", u"OK", u"PC", u"1995", u"2024", u"10MB", u"RTF", u"A4", u"100", u"Ver.2", u"ID",
};

constexpr std::array<Word, 4> clauseEnds = { u"、", u"、", u"・", u"、" };
constexpr std::array<Word, 4> sentenceEnds = { u"。", u"。", u"！", u"？" };

void append(QString &out, Word word)
{
    out.append(QStringView(word.data(), static_cast<qsizetype>(word.size())));
}

// One sentence: a few clauses of noun + particle, now and then a quotation, ended by 。.
void appendSentence(QString &out, Random &random)
{
    const bool quoted = random.chance(8);
    if (quoted)
        out.append(u'「');
    const int clauses = random.between(2, 5);
    for (int c = 0; c < clauses; ++c) {
        const int nouns = random.between(1, 2);
        for (int n = 0; n < nouns; ++n) {
            if (random.chance(10)) {
                append(out, random.pick(katakanaWords));
            } else if (random.chance(5)) {
                // ASCII stands between spaces, as it usually does in Japanese text.
                out.append(u' ');
                append(out, random.pick(asciiWords));
                out.append(u' ');
            } else {
                append(out, random.pick(kanjiWords));
            }
        }
        append(out, random.pick(kanaWords));
        if (random.chance(40))
            append(out, random.pick(kanaWords));
        if (c + 1 < clauses)
            append(out, random.pick(clauseEnds));
    }
    if (quoted)
        out.append(u'」');
    append(out, random.pick(sentenceEnds));
}

// Prose of at least `characters` characters.
QString prose(qsizetype characters, Random &random)
{
    QString out;
    out.reserve(characters + 64);
    while (out.size() < characters)
        appendSentence(out, random);
    return out;
}

} // namespace

namespace Corpus {

QString lines(const Shape &shape, quint64 seed)
{
    Random random(seed);
    // Bytes per character stay near 1.9 for this mix; reserve a little more than needed.
    QString text;
    text.reserve(static_cast<qsizetype>(shape.targetBytes / 1.8) + 1024);
    // Lines are cut from one running stream of sentences, as a text hard-wrapped by another
    // program is: a line may end in the middle of a word.
    QString stream;
    qsizetype used = 0;
    qint64 bytes = 0;
    while (bytes < shape.targetBytes) {
        if (random.chance(2)) {
            text.append(u"\r\n");
            bytes += 2;
            continue;
        }
        const int length = random.between(shape.minLineLength, shape.maxLineLength);
        if (stream.size() - used < length) {
            stream = stream.mid(used) + prose(4096, random);
            used = 0;
        }
        const QStringView line = QStringView(stream).mid(used, length);
        used += length;
        text.append(line);
        text.append(u"\r\n");
        bytes += SjisText::measure(line).bytes + 2;
    }
    return text;
}

QString paragraph(qsizetype characters, quint64 seed)
{
    Random random(seed);
    QString text = prose(characters, random);
    text.truncate(characters);
    return text;
}

QString withWord(const QString &text, QStringView word, qint64 count)
{
    if (count <= 0)
        return text;
    QString out;
    out.reserve(text.size() + word.size() * count);
    const double step = static_cast<double>(text.size()) / static_cast<double>(count);
    qsizetype copied = 0;
    for (qint64 i = 0; i < count; ++i) {
        // Halfway into each step, so that none falls at the very start or end.
        qsizetype at = qMin(text.size(), static_cast<qsizetype>(step * (static_cast<double>(i) + 0.5)));
        if (at > 0 && at < text.size() && text.at(at) == u'\n' && text.at(at - 1) == u'\r')
            ++at;
        at = qMax(at, copied);
        out.append(QStringView(text).mid(copied, at - copied));
        out.append(word);
        copied = at;
    }
    out.append(QStringView(text).mid(copied));
    return out;
}

} // namespace Corpus
