// The numbered message texts, exactly as the user sees them.
#include <cstddef>

#include "report/messages.h"

namespace {

// Table A: numbers 2 to 24 (index = number - 2).
const char* const kTableA[23] = {
    "Opção do comando especificado é ambígua - ",  // 2
    "Sub-opção expecificada é ambígua - ",          // 3
    "Opção Desconhecida ou Ilegal - ",              // 4
    "Sub-opção Desconhecida ou Ilegal - ",          // 5
    "Arquivo .ZIP não especificado",                // 6
    "",                                             // 7
    "Nada para fazer!",                             // 8
    "Arquivo(s) não encontrado(s)",                 // 9
    "",                                             // 10
    "Disco Cheio, arquivo: ",                       // 11
    "Não encontrei o arquivo .ZIP: ",               // 12
    "Não posso abrir o arquivo .ZIP: ",             // 13
    "",                                             // 14
    "",                                             // 15
    "Não posso abrir para acesso de gravação, no arquivo: ",  // 16
    "",                                                      // 17
    "Não pude abrir a lista deste arquivo: ",                // 18
    "Extração do arquivo abortada",                          // 19
    "",                                                      // 20
    "",                                                      // 21
    "",                                                      // 22
    "",                                                      // 23
    "Unidade não está pronta: ",                             // 24
};

// Table B, reached three ways: archive errors 150-155 (entry = number - 150), fatal numbers
// 100-137 (entry = number - 94), warnings 0-28 (entry = number + 15).
const char* const kTableB[] = {
    "Erro na leitura do arquivo .ZIP ",                                  // 0: 150
    "Arquivo muito pequeno para ser um arquivo .ZIP ",                   // 1: 151
    "Não encontrado as assinaturas de CE ",                              // 2: 152
    "Final prematuro do .ZIP ",                                          // 3: 153
    "Cabeçalho local corrompido ou não encontrado ",                     // 4: 154
    "Muitos arquivos no ",                                               // 5: 155
    "Memória Insuficiente - Para criar entrada de buffer de trabalho",   // 6: 100
    "",                                                                  // 7: 101
    "",                                                                  // 8: 102
    "",                                                                  // 9: 103
    "Memória Insuficiente - Para entrada de arquivo de lista",           // 10: 104
    "Memória Insuficiente - Para extrair arquivos do .ZIP",              // 11: 105
    "",                                                                  // 12: 106
    "",                                                                  // 13: 107
    "Memória Insuficiente - Para Verificação de Autenticidade",          // 14: 108
    "",                                                                  // 15: 109, warning 0
    "Não posso criar: ",                                                 // 16: warning 1
    "caminho ilegal ou na especificação do drive: ",                     // 17: warning 2
    "requer versão do TAMBO ",                                           // 18: warning 3
    "Falha na checagem do arquivo de CRC ",                              // 19: warning 4
    "Tamanho inesperado no arquivo .ZIP ",                               // 20: warning 5
    "",                                                                  // 21: warning 6
    "arquivo: ",                                                         // 22: warning 7
    "Não pude abrir o arquivo ",                                         // 23: warning 8
    "",                                                                  // 24: warning 9
    "Arquivo implodido possui uma tabela defeituosa",                    // 25: warning 10
    "Arquivo implodido possui uma tabela literalmente defeituosa",       // 26: warning 11
    "Fim inesperado dos dados compactados",                              // 27: warning 12
    "Ignorando arquivo encriptado: ",                                    // 28: warning 13
    "",                                                                  // 29: warning 14
    "",                                                                  // 30: warning 15
    "",                                                                  // 31: warning 16
    "",                                                                  // 32: warning 17
    "Método de Compressão desconhecido para arquivo: ",                  // 33: warning 18
    "Dados LZMA defeituosos no arquivo: ",                               // 34: warning 19
    "Senha Incorreta para arquivo: ",                                    // 35: warning 20
    "Memória Insuficiente para o dicionário LZMA do arquivo: ",          // 36: warning 21
    "Falha na Verificação de Autenticidade!",                            // 37: warning 22
    "Falha na Verificação de Autenticidade!",                            // 38: warning 23
    "Dicionário LZMA acima do limite de 256 MB de memória, arquivo: ",   // 39: warning 24
    "",                                                                  // 40: warning 25, reserved
    "diretório: ",                                                       // 41: warning 26
    "Memória Insuficiente para atributos extendidos",                    // 42: warning 27
    "",                                                                  // 43: warning 28
};
constexpr int kTableBSize = static_cast<int>(sizeof kTableB / sizeof kTableB[0]);

const char* TableB(int entry) {
  return entry >= 0 && entry < kTableBSize ? kTableB[entry] : "";
}

}  // namespace

const char* FatalText(int number) {
  if (number >= 100) return TableB(number - 94);
  if (number >= 2 && number <= 24) return kTableA[number - 2];
  return "";
}

const char* ArchiveErrorText(int number) { return TableB(number - 150); }

// Warnings of this program's own, from 29 on.
const char* const kOwnWarnings[] = {
    "Criptografia AES desconhecida ou campo AES danificado: ",                   // 29
    "Código de autenticação AES não confere, arquivo danificado ou alterado: ",  // 30
    "Criptografia do sistema indisponível para arquivo: ",                       // 31
    "Arquivo danificado no .ZIP; o arquivo existente foi mantido: ",             // 32
};
constexpr int kFirstOwnWarning = 29;

const char* WarningText(int number) {
  if (number >= kFirstOwnWarning) {
    const int index = number - kFirstOwnWarning;
    return index < static_cast<int>(sizeof kOwnWarnings / sizeof kOwnWarnings[0]) ? kOwnWarnings[index] : "";
  }
  return TableB(number + 15);
}
