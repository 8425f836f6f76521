// The parts a run decides with, each alone: the order its lines are told in, and what it makes
// of the system's answer for one file.

#include "mix/FileOutcome.h"
#include "mix/StepOrder.h"

#include <QTest>

using namespace Qt::StringLiterals;

using tonvola::FileOutcome;
using tonvola::FilePhase;
using tonvola::MixAction;
using tonvola::MixReason;
using tonvola::MixStep;
using tonvola::StepOrder;
using tonvola::fs::FileResult;
using Kind = FileOutcome::Kind;
using Status = FileResult::Status;

class tst_MixSteps : public QObject
{
    Q_OBJECT

private slots:
    void stepsAreToldInThePlansOrder_data();
    void stepsAreToldInThePlansOrder();
    void answersBecomeOutcomes_data();
    void answersBecomeOutcomes();
};

void tst_MixSteps::stepsAreToldInThePlansOrder_data()
{
    // A script of "+a" (a known now), "?" (a place held), "=a" (a for the first place held) and
    // "!" (the places held given up); what is told, with a "." after each of them.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("told");
    QTest::newRow("known outcomes at once") << u"+a +b"_s << u"a . b ."_s;
    QTest::newRow("a held place keeps back what follows") << u"+a ? +b =c"_s << u"a . . . c b ."_s;
    QTest::newRow("held places are filled first to last") << u"? ? +d =a =b"_s << u". . . a . b d ."_s;
    QTest::newRow("a place given up lets the rest go") << u"? +b !"_s << u". . b ."_s;
    QTest::newRow("what stands behind a later held place waits for it")
        << u"? +a ? +b =c !"_s << u". . . . c a . b ."_s;
    QTest::newRow("nothing held, nothing to give up") << u"+a ! +b"_s << u"a . . b ."_s;
}

void tst_MixSteps::stepsAreToldInThePlansOrder()
{
    QFETCH(QString, script);
    QFETCH(QString, told);
    QStringList log;
    StepOrder order([&log](const MixStep &step) { log << step.name.text(); });
    const auto step = [](const QString &name) {
        MixStep made;
        made.name = tonvola::fs::FileName::fromText(name);
        return made;
    };
    for (const QString &op : script.split(u' ')) {
        if (op.startsWith(u'+'))
            order.add(step(op.mid(1)));
        else if (op.startsWith(u'='))
            order.decide(step(op.mid(1)));
        else if (op == u"?")
            order.hold();
        else
            order.dropHeld();
        log << u"."_s;
    }
    QCOMPARE(log.join(u' '), told);
}

void tst_MixSteps::answersBecomeOutcomes_data()
{
    QTest::addColumn<FilePhase>("phase");
    QTest::addColumn<Status>("status");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<MixAction>("action");
    QTest::addColumn<MixReason>("why");
    QTest::addColumn<bool>("playerFirst");
    const auto row = [](const char *name, FilePhase phase, Status status, Kind kind,
                        MixAction action = MixAction::Skipped, MixReason why = MixReason::None,
                        bool playerFirst = false) {
        QTest::newRow(name) << phase << status << kind << action << why << playerFirst;
    };
    row("removed", FilePhase::Removing, Status::Ok, Kind::Done);
    row("removal of a file changed since", FilePhase::Removing, Status::SourceChanged, Kind::Told,
        MixAction::KeptOnPlayer, MixReason::Changed);
    row("removal refused: the player may be gone", FilePhase::Removing, Status::PermissionDenied, Kind::Told,
        MixAction::KeptOnPlayer, MixReason::WriteProtected, true);
    row("removal of a file gone meanwhile", FilePhase::Removing, Status::NotFound, Kind::Vanished, MixAction::Skipped,
        MixReason::None, true);
    row("removal fails", FilePhase::Removing, Status::Failed, Kind::Failed);
    row("move back in use", FilePhase::AddingBack, Status::InUse, Kind::Told, MixAction::KeptOnPlayer,
        MixReason::InUse);
    row("move back onto a folder's name", FilePhase::AddingBack, Status::AlreadyExists, Kind::Told,
        MixAction::KeptOnPlayer, MixReason::CollectionRefuses);
    row("move back into a read-only collection", FilePhase::AddingBack, Status::ReadOnly, Kind::Refused,
        MixAction::Skipped, MixReason::None, true);
    row("move back cancelled", FilePhase::AddingBack, Status::Cancelled, Kind::Cancelled);
    row("move back named onto another entry", FilePhase::NamingBack, Status::AlreadyExists, Kind::Told,
        MixAction::KeptOnPlayer, MixReason::CollectionRefuses, true);
    row("move back not named", FilePhase::NamingBack, Status::NoSpace, Kind::Refused, MixAction::Skipped,
        MixReason::None, true);
    row("moved file changed on the player", FilePhase::RemovingMoved, Status::NotFound, Kind::Told,
        MixAction::KeptOnPlayer, MixReason::Changed);
    row("moved file not removed", FilePhase::RemovingMoved, Status::Failed, Kind::Failed);
    row("found file write-protected", FilePhase::RemovingFound, Status::PermissionDenied, Kind::Told,
        MixAction::KeptOnPlayer, MixReason::WriteProtected);
    row("found file not removed", FilePhase::RemovingFound, Status::Failed, Kind::Told, MixAction::KeptOnPlayer,
        MixReason::Changed);
    row("copy without room: the player may be gone", FilePhase::AddingCopy, Status::NoSpace, Kind::Told,
        MixAction::NoRoom, MixReason::None, true);
    row("copy of a name FAT refuses", FilePhase::AddingCopy, Status::NameRefused, Kind::Told, MixAction::Skipped,
        MixReason::NameRefused);
    row("copy of a name another entry holds", FilePhase::AddingCopy, Status::NameTaken, Kind::Told, MixAction::Skipped,
        MixReason::NameTaken);
    row("copy of a file gone from the collection", FilePhase::AddingCopy, Status::NotFound, Kind::Told,
        MixAction::Skipped, MixReason::GoneFromCollection);
    row("copy into a full folder", FilePhase::AddingCopy, Status::FolderFull, Kind::FolderFull);
    row("copy fails", FilePhase::AddingCopy, Status::PermissionDenied, Kind::Failed);
    row("copy named", FilePhase::NamingCopy, Status::Ok, Kind::Done, MixAction::Copied);
    row("copy named onto another entry", FilePhase::NamingCopy, Status::AlreadyExists, Kind::Told, MixAction::Skipped,
        MixReason::NameTaken);
    row("copy not named for room", FilePhase::NamingCopy, Status::NoSpace, Kind::Told, MixAction::NoRoom);
    row("copy not named", FilePhase::NamingCopy, Status::NameTaken, Kind::Failed);
}

void tst_MixSteps::answersBecomeOutcomes()
{
    QFETCH(FilePhase, phase);
    QFETCH(Status, status);
    QFETCH(Kind, kind);
    QFETCH(MixAction, action);
    QFETCH(MixReason, why);
    QFETCH(bool, playerFirst);
    const FileOutcome outcome = tonvola::outcomeOf(phase, status);
    QCOMPARE(outcome.kind, kind);
    if (kind == Kind::Told || kind == Kind::Done)
        QCOMPARE(outcome.action, action);
    QCOMPARE(outcome.why, why);
    QCOMPARE(outcome.playerFirst, playerFirst);
}

QTEST_GUILESS_MAIN(tst_MixSteps)
#include "tst_mixsteps.moc"
