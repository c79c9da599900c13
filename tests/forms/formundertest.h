#pragma once

#include "formcases.h"
#include "nodeform.h"

#include <QPushButton>
#include <QSignalSpy>

#include <memory>

// A form built for one node, with every updateNode it emits recorded from the moment it exists.
class FormUnderTest
{
public:
    explicit FormUnderTest(const Node &node);
    explicit FormUnderTest(int type);

    NodeForm *get() const { return m_form.get(); }
    NodeForm *operator->() const { return m_form.get(); }

    template <typename T> T *child(const QString &objectName) const { return childOf<T>(get(), objectName); }
    QLineEdit *edit(const QString &name) const { return child<QLineEdit>(name); }
    QPushButton *applyButton() const { return child<QPushButton>(QStringLiteral("applyButton")); }

    // Types the keys into the named edit, replacing its text.
    void retype(const QString &editName, const QString &keys) const;
    void apply() const { applyButton()->click(); }

    int updateCount() const { return m_updates->count(); }
    Node sent(int index = 0) const;
    int sentFlags(int index = 0) const;

private:
    std::unique_ptr<NodeForm> m_form;
    std::unique_ptr<QSignalSpy> m_updates;
};
