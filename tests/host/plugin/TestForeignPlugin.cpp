// A Qt plug-in of some other kind: neither document interface.
#include <QObject>

class TestForeignPlugin : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.example.SomethingElse/1.0")
};

#include "TestForeignPlugin.moc"
