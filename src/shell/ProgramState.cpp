// Program-wide state shared by the windows.
#include "shell/ProgramState.h"

void ProgramState::setTaxpayer(const QString& ie, const QString& razaoSocial,
                               const QString& chave) {
    if (ie == m_ie && razaoSocial == m_razaoSocial && chave == m_chave)
        return;
    m_ie = ie;
    m_razaoSocial = razaoSocial;
    m_chave = chave;
    emit taxpayerChanged();
}
