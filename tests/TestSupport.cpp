#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>

namespace testsupport {

QString testDataDir()
{
    return QStringLiteral(TONVOLA_TEST_DATA);
}

bool writeFile(const QString &path, qint64 size, char fill)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(64 * 1024, fill);
    qint64 left = size;
    while (left > 0) {
        const qint64 n = std::min<qint64>(left, block.size());
        if (file.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return file.flush();
}

TmpfsMount::TmpfsMount(const QString &options)
{
    if (!m_dir.isValid())
        return;
    m_mounted =
        QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    options, QStringLiteral("tmpfs"), m_dir.path()})
        == 0;
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
}

ImmutableFile::ImmutableFile(QString path) : m_path(std::move(path))
{
    m_set = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0;
}

ImmutableFile::~ImmutableFile()
{
    if (m_set)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
}

MessageBoxAnswerer::MessageBoxAnswerer(QMessageBox::StandardButton answer)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(20);
    std::weak_ptr<bool> alive = m_alive;
    std::shared_ptr<QStringList> texts = m_texts;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, alive, texts, answer] {
        if (alive.expired()) {
            timer->deleteLater();
            return;
        }
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        texts->append(box->text());
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->reject();
    });
    timer->start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() = default;

} // namespace testsupport
