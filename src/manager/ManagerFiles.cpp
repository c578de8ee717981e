// Opening, adding, closing and exporting models from the GUI side, and the recent
// files with their settings.json. The view reads and writes the files on its file
// worker; what is checked here is only what can be told without reading a file.
#include "Manager.h"

#include <QGuiApplication>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>

#include "ImageTasks.h"
#include "LoadTasks.h"
#include "PlaybackTasks.h"
#include "VtkItem.h"

namespace ML
{
namespace
{
constexpr int MaxRecentFiles = 20;
const QString RecentFilesKey = QStringLiteral("recentFiles");
const QString LoadOnStartupKey = QStringLiteral("loadOnStartup");

// The spellings the open dialogs offer. Any other file is still opened: Assimp
// decides what it can read, the log only notes the unusual name.
const QStringList AcceptedExtensions{QStringLiteral(".FBX"), QStringLiteral(".fbx"),
                                     QStringLiteral(".Fbx"), QStringLiteral(".GLTF"),
                                     QStringLiteral(".GLB"), QStringLiteral(".gltf"),
                                     QStringLiteral(".glb"), QStringLiteral(".DAE"),
                                     QStringLiteral(".dae"), QStringLiteral(".Dae")};

QString extensionOf(const QString& path)
{
  const QString name = QFileInfo(path).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : name.mid(dot);
}

void noteUnusualExtension(const QString& path)
{
  if (!AcceptedExtensions.contains(extensionOf(path)))
  {
    qDebug() << path << " has bad extension";
  }
}

} // namespace

bool Manager::shiftHeld() const
{
  return QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
}

bool Manager::isModelFile(const QUrl& url) const
{
  return url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile() &&
         AcceptedExtensions.contains(extensionOf(url.toLocalFile()), Qt::CaseInsensitive);
}

namespace
{
// A request for a path that names no file is reported and ended: the window
// shows its splash for every request and hides it on openSourceEnd.
bool existsOrReport(Manager& manager, const QString& path)
{
  if (QFileInfo::exists(path))
  {
    return true;
  }
  qDebug() << path << " Does not exist";
  emit manager.openSourceError();
  emit manager.openSourceEnd();
  return false;
}

QString settingsPath(const QString& configDir)
{
  return configDir + QStringLiteral("/settings.json");
}

enum class SettingsFile
{
  Missing,
  Read,
  Unparsable
};

// Reads the settings object. A file that exists but holds no JSON object is
// reported as unparsable so that the caller never overwrites it blindly; an
// empty file is simply a fresh one.
SettingsFile readSettings(const QString& path, QJsonObject& settings)
{
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
  {
    return SettingsFile::Missing;
  }
  const QByteArray bytes = file.readAll();
  if (bytes.trimmed().isEmpty())
  {
    return SettingsFile::Read;
  }
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
  {
    return SettingsFile::Unparsable;
  }
  settings = document.object();
  return SettingsFile::Read;
}

QStringList storedRecentFiles(const QJsonObject& settings)
{
  QStringList paths;
  for (const QJsonValue& value : settings.value(RecentFilesKey).toArray())
  {
    if (value.isString())
    {
      paths.append(value.toString());
    }
  }
  return paths;
}

// Keeps a damaged settings file for the user to inspect instead of losing it.
void setAside(const QString& path)
{
  const QString aside = path + QStringLiteral(".bad");
  QFile::remove(aside);
  QFile::rename(path, aside);
}

bool writeSettings(const QString& path, const QJsonObject& settings)
{
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
  {
    return false;
  }
  file.write(QJsonDocument(settings).toJson(QJsonDocument::Indented));
  return file.commit();
}
} // namespace

void Manager::openModels(const QStringList& fname)
{
  if (fname.isEmpty())
  {
    emit openSourceEnd();
    return;
  }
  const QString& first = fname.constFirst();
  if (!existsOrReport(*this, first))
  {
    return;
  }
  noteUnusualExtension(first);

  state.recentFiles.removeOne(first);
  state.recentFiles.prepend(first);
  if (state.recentFiles.size() > MaxRecentFiles)
  {
    state.recentFiles.removeLast();
  }
  emit recentFilesChanged();

  loadFiles(fname);
}

void Manager::loadFiles(const QStringList& paths)
{
  beginLoad();
  vtkItem->loadFiles(paths, VtkItem::LoadMode::Replace);
}

void Manager::beginLoad()
{
  if (m_loadsRunning++ == 0)
  {
    state.loading = true;
    emit loadingChanged();
  }
}

void Manager::setLoadProgress(const QString& path, double fraction)
{
  state.loadingFile = path;
  state.loadProgress = fraction;
  emit loadProgressChanged();
}

void Manager::endLoad(bool failed)
{
  if (--m_loadsRunning == 0)
  {
    setLoadProgress(QString(), 0.0);
    state.loading = false;
    emit loadingChanged();
  }
  if (failed)
  {
    emit openSourceError();
  }
  emit openSourceEnd();
}

void Manager::cancelLoad()
{
  vtkItem->cancelLoads();
}

void Manager::openModelUrls(const QList<QUrl>& urls)
{
  QStringList paths;
  paths.reserve(urls.size());
  for (const QUrl& url : urls)
  {
    paths.append(url.toLocalFile());
  }
  openModels(paths);
}

void Manager::addModelUrl(const QUrl& url)
{
  // A file joins the models shown, or those of a load under way.
  if (state.modelNames.isEmpty() && !state.loading)
  {
    emit openSourceEnd();
    return;
  }
  const QString path = url.toLocalFile();
  if (!existsOrReport(*this, path))
  {
    return;
  }
  noteUnusualExtension(path);
  beginLoad();
  vtkItem->loadFiles({path}, VtkItem::LoadMode::Add);
}

void Manager::clearModels()
{
  // Closing means nothing shown: loads still under way are dropped too.
  vtkItem->cancelLoads();
  clearTreeModel(true);
  state.modelNames.clear();
  vtkItem->run(&clearModelsTask);
}

void Manager::resetScene()
{
  vtkItem->run([](VtkItem* item, VtkItem::Data* data) { resetSceneSettings(item->manager, data); });
}

void Manager::exportSceneUrl(const QUrl& url)
{
  vtkItem->exportScene(url.toLocalFile());
}

void Manager::saveViewImageUrl(const QUrl& url, int scale)
{
  const QString fileName = url.toLocalFile();
  vtkItem->run([fileName, scale](VtkItem* item, VtkItem::Data* data)
               { saveViewImage(item, data, fileName, scale); });
}

void Manager::requestFileReport()
{
  vtkItem->run([model = state.currentModel](VtkItem* item, VtkItem::Data*)
               { reportFile(item, model); });
}

QString Manager::displayableFilePath(const QString& filePath) const
{
  return QUrl(filePath, QUrl::TolerantMode).toLocalFile();
}

// Clearing is remembered for the rest of the run: the stored list must not come
// back at the next start just because this run's list is empty.
// Clearing an empty menu is no choice about the stored history: a run started with
// file arguments shows none of it, and must not erase it.
void Manager::clearRecentFiles()
{
  if (state.recentFiles.isEmpty())
  {
    return;
  }
  m_recentFilesCleared = true;
  state.recentFiles.clear();
  emit recentFilesChanged();
}

bool Manager::loadRecentFiles()
{
  QJsonObject settings;
  if (readSettings(settingsPath(configDir), settings) == SettingsFile::Missing)
  {
    return false;
  }
  m_settingsRead = true;
  state.recentFiles.append(storedRecentFiles(settings));
  const QJsonValue loadOnStartup = settings.value(LoadOnStartupKey);
  if (loadOnStartup.isBool())
  {
    setLoadOnStartup(loadOnStartup.toBool());
  }
  return true;
}

// Writes the list as the user saw it, most recent first, followed by the stored
// entries this run does not hold: a run that never read the file (one started
// with file arguments) or another instance that saved meanwhile must not lose them.
void Manager::saveRecentFiles()
{
  const QString path = settingsPath(configDir);
  QJsonObject settings;
  if (readSettings(path, settings) == SettingsFile::Unparsable)
  {
    setAside(path);
  }

  QStringList recent = state.recentFiles;
  if (!m_recentFilesCleared)
  {
    recent.append(storedRecentFiles(settings));
  }
  recent.removeDuplicates();
  recent = recent.mid(0, MaxRecentFiles);
  settings.insert(RecentFilesKey, QJsonArray::fromStringList(recent));

  // Without having read the file, a false flag is only the default, not a choice.
  if (m_settingsRead || state.loadOnStartup)
  {
    settings.insert(LoadOnStartupKey, state.loadOnStartup);
  }

  if (writeSettings(path, settings))
  {
    return;
  }
  QDir().mkpath(configDir);
  if (!writeSettings(path, settings))
  {
    qDebug() << "Unable to create " << path;
  }
}
} // namespace ML
