#pragma once

#include <QtTest>

namespace testsupport {

// Gives the process a fresh HOME, XDG_CONFIG_HOME and settings location, and the application
// identity, so no test reads or writes a real user's settings. Call before the application
// object exists.
void prepareEnvironment(const char* testName);

// Folder of the test's own fixtures in the source tree (KNOTLATTICE_SOURCE_DIR/tests/...).
QString sourcePath(const QString& relative);
// The staged program folder of the build (KNOTLATTICE_BIN_DIR).
QString binPath(const QString& relative = QString());

// A file's bytes, empty when it cannot be read; and writing them, true when all were written.
QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace testsupport

// QTEST_MAIN with a private environment and a QApplication.
#define KL_TEST_MAIN(TestObject)                                                                   \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        testsupport::prepareEnvironment(#TestObject);                                              \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

// For tests that make their own application objects.
#define KL_TEST_MAIN_NOAPP(TestObject)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        testsupport::prepareEnvironment(#TestObject);                                              \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
