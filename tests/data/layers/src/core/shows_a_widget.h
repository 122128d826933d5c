#include <QWidget>
#include <QtGui/QScreen>
