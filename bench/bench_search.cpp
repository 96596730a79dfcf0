// SPDX-License-Identifier: GPL-3.0-or-later
// The text index: a search over 5 000 indexed captures of realistic text (chats, errors, receipts, code,
// documents in French and English; word frequencies as in real text), and the time to recognise and index one
// 1920 × 1080 capture. Prints "name value unit" lines (medians). Run with OMP_THREAD_LIMIT=1 in the
// environment, as Pim runs.
#include "BenchUtil.h"

#include "history/TextIndex.h"
#include "history/TextIndexer.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <vector>

namespace {

const QStringList vocabulary =
    QStringLiteral(
        "erreur error connexion connection impossible failed serveur server fichier file introuvable not "
        "found "
        "réunion meeting demain tomorrow facture invoice total montant amount payé paid reçu receipt client "
        "commande order livraison delivery adresse address mot de passe password utilisateur user compte "
        "account "
        "rapport report trimestriel quarterly hausse increase baisse decrease projet project équipe team "
        "fonction function return retour valeur value tableau array exception stack trace ligne line colonne "
        "message bonjour hello merci thanks rendez-vous appointment lundi mardi mercredi jeudi vendredi "
        "écran screen fenêtre window bouton button menu paramètres settings sauvegarde backup disque disk "
        "plein "
        "full mémoire memory réseau network délai timeout requête request réponse response base données "
        "database")
        .split(u' ');

// A language-like vocabulary: 20 000 words whose frequencies fall off as 1/rank, as in real text, with the
// real words above spread among the first 5 000 ranks.
struct Language {
    QStringList words;
    std::vector<double> cumulative;

    explicit Language(QRandomGenerator &random)
    {
        const QStringList syllables =
            QStringLiteral("ba be bi bo bu ca ce ci co da de di do fa fe fi fo ga "
                           "ge go la le li lo ma me mi mo na ne ni no pa pe pi po ra "
                           "re ri ro sa se si so ta te ti to va ve vi vo tr st pl ch")
                .split(u' ');
        while (words.size() < 20000) {
            QString word;
            const int count = 2 + int(random.bounded(3));
            for (int i = 0; i < count; ++i)
                word += syllables.at(int(random.bounded(syllables.size())));
            words << word;
        }
        for (const QString &real : vocabulary)
            words[int(random.bounded(5000))] = real;
        double sum = 0;
        for (int rank = 1; rank <= words.size(); ++rank)
            cumulative.push_back(sum += 1.0 / rank);
    }
    const QString &pick(QRandomGenerator &random) const
    {
        const double at = random.generateDouble() * cumulative.back();
        const auto it = std::lower_bound(cumulative.begin(), cumulative.end(), at);
        return words.at(int(it - cumulative.begin()));
    }
};

QString randomText(QRandomGenerator &random, const Language &language, int words)
{
    QStringList text;
    for (int i = 0; i < words; ++i) {
        text << language.pick(random);
        if (random.bounded(12) == 0)
            text << QString::number(random.bounded(100000));
        if (random.bounded(15) == 0)
            text.last() += u'\n';
    }
    return text.join(u' ');
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    {
        TextIndex index(dir.filePath("text-index.sqlite"));
        if (!index.isAvailable()) {
            std::fprintf(stderr, "index unavailable: %s\n", qPrintable(index.problem()));
            return 1;
        }
        QRandomGenerator random(7);
        const Language language(random);
        QElapsedTimer filling;
        filling.start();
        {
            // One transaction for the filling only; Pim stores one capture at a time.
            QSqlDatabase::database(QSqlDatabase::connectionNames().first()).transaction();
            for (int i = 0; i < 5000; ++i)
                index.store({QStringLiteral("/captures/Capture %1.png").arg(i),
                             100000 + i,
                             i,
                             {"fr-FR", "en-US"},
                             randomText(random, language, 40 + int(random.bounded(400)))});
            QSqlDatabase::database(QSqlDatabase::connectionNames().first()).commit();
        }
        Bench::print("index_5000_fill", filling.nsecsElapsed() / 1e6, "ms");
        const QStringList queries{"erreur",
                                  "connexion impossible",
                                  "facture total",
                                  "ecran",
                                  "serv",
                                  "mot de passe",
                                  "rapport trimestriel hausse",
                                  "zzzz",
                                  "stack trace exception",
                                  "réunion demain lundi",
                                  "ba",
                                  "de"};
        int hits = 0;
        for (const QString &query : queries) {
            const double ms = Bench::medianMs(21, [&] { hits = int(index.search(query).size()); });
            Bench::print(
                QStringLiteral("search_5000_\"%1\"_%2_hits").arg(query).arg(hits).toUtf8().constData(), ms,
                "ms");
        }
        std::vector<double> all;
        for (const QString &query : queries)
            all.push_back(Bench::medianMs(11, [&] { index.search(query); }));
        std::sort(all.begin(), all.end());
        Bench::print("search_5000_worst_query", all.back(), "ms");
        Bench::print("search_5000_median_query", all[all.size() / 2], "ms");
    }

    // One 1080p capture recognised and stored, as the background indexer does it (by the instance's
    // reader process).
    const QString capture = dir.filePath("capture.png");
    Bench::screenshotLike(1920, 1080).convertToFormat(QImage::Format_RGB32).save(capture);
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        TextIndex index(dir.filePath(QStringLiteral("one-%1.sqlite").arg(run)));
        TextIndexer indexer(&index, PIM_INSTANCE);
        indexer.setIdlePriority(false);
        indexer.quietMilliseconds = 0;
        QSignalSpy idle(&indexer, &TextIndexer::idle);
        QElapsedTimer timer;
        timer.start();
        indexer.follow({{capture, 1}});
        idle.wait(120000);
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (run == 0)
            Bench::print("index_1080p_capture_words",
                         double(index.record(capture) ? index.record(capture)->text.split(u' ').size() : 0),
                         "words");
    }
    std::sort(times.begin(), times.end());
    Bench::print("index_1080p_capture", times[1], "ms");
    return 0;
}
