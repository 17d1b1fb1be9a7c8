// The Glimmark extension: the scene language's highlighting (the grammar in
// syntaxes/), `glimmark lsp` for diagnostics, help on a word, completion,
// definitions and the outline, and a preview of the traced picture beside the
// text ("Render", "Render to Side"), traced again on every save.
'use strict';

const vscode = require('vscode');
const { LanguageClient, LSPErrorCodes } = require('vscode-languageclient/node');

let client;
// The open previews, by the URI of the scene they show.
const previews = new Map();

function serverCommand() {
  const settings = vscode.workspace.getConfiguration('glimmark');
  return { command: settings.get('server.path', 'glimmark'), args: ['lsp'] };
}

function startClient(context) {
  const settings = vscode.workspace.getConfiguration('glimmark');
  client = new LanguageClient(
    'glimmark',
    'Glimmark',
    { run: serverCommand(), debug: serverCommand() },
    {
      documentSelector: [{ scheme: 'file', language: 'glimmark' }],
      initializationOptions: { strict: settings.get('strict', true) },
    },
  );
  context.subscriptions.push(client);
  return client.start();
}

function escapeHtml(text) {
  return text.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
}

function page(panel, body) {
  const csp = `default-src 'none'; img-src data:; style-src ${panel.webview.cspSource} 'unsafe-inline';`;
  return `<!DOCTYPE html><html><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="${csp}">
<style>body{margin:0;padding:8px}img{max-width:100%;image-rendering:pixelated}p{font-family:var(--vscode-font-family)}</style>
</head><body>${body}</body></html>`;
}

// Traces the scene and shows its picture; a newer trace of any scene stops
// this one (the server answers it as cancelled), and then the newer one shows.
async function render(preview) {
  const { panel, document } = preview;
  const asked = ++preview.generation;
  panel.title = `Rendering ${vscode.workspace.asRelativePath(document.uri)}…`;
  if (!panel.webview.html) panel.webview.html = page(panel, '<p>Rendering…</p>');
  try {
    const picture = await client.sendRequest('glimmark/render', {
      textDocument: { uri: document.uri.toString() },
    });
    if (asked !== preview.generation || preview.closed) return;
    panel.webview.html = page(
      panel,
      `<img alt="" width="${picture.width}" height="${picture.height}" src="data:image/png;base64,${picture.data}">`,
    );
  } catch (error) {
    if (asked !== preview.generation || preview.closed) return;
    if (error && error.code === LSPErrorCodes.RequestCancelled) return;
    panel.webview.html = page(panel, `<p>${escapeHtml(error && error.message ? error.message : String(error))}</p>`);
  } finally {
    if (asked === preview.generation && !preview.closed)
      panel.title = `Picture of ${vscode.workspace.asRelativePath(document.uri)}`;
  }
}

function showPreview(column) {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== 'glimmark') {
    vscode.window.showInformationMessage('Glimmark: open a scene (.gmk) to render it.');
    return;
  }
  const document = editor.document;
  const key = document.uri.toString();
  let preview = previews.get(key);
  if (preview) {
    preview.panel.reveal(column, true);
  } else {
    const panel = vscode.window.createWebviewPanel('glimmark.picture', 'Picture', { viewColumn: column, preserveFocus: true }, {
      enableScripts: false,
    });
    preview = { panel, document, generation: 0, closed: false };
    previews.set(key, preview);
    panel.onDidDispose(() => {
      preview.closed = true;
      previews.delete(key);
    });
  }
  return render(preview);
}

function activate(context) {
  context.subscriptions.push(
    vscode.commands.registerCommand('glimmark.render', () => showPreview(vscode.ViewColumn.Active)),
    vscode.commands.registerCommand('glimmark.renderToSide', () => showPreview(vscode.ViewColumn.Beside)),
    vscode.workspace.onDidSaveTextDocument((document) => {
      const preview = previews.get(document.uri.toString());
      if (preview) render(preview);
    }),
  );
  return startClient(context);
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
