-- Neovim's own language client (no plug-in) with `glimmark lsp` on a scene
-- with an error: the diagnostic as Neovim keeps it, the hover window on a
-- keyword, the jump to a DEFINE, and the outline as Neovim lists it.
-- Run by editor_session_test.sh: nvim --headless -u NONE -c 'luafile ...'
-- with GLIMMARK (the program) and SCENE (scene_with_error.gmk) set.
local glimmark = assert(os.getenv('GLIMMARK'))
local scene = assert(os.getenv('SCENE'))
local failures = {}

local function check(what, got, want)
  if not vim.deep_equal(got, want) then
    table.insert(failures, what .. ': got ' .. vim.inspect(got) .. ', expected ' .. vim.inspect(want))
  end
end

local function session()
  vim.cmd('edit ' .. vim.fn.fnameescape(scene))
  local buf = vim.api.nvim_get_current_buf()
  -- vim.lsp.start_client and buf_attach_client are what vim.lsp.start does
  -- in later Neovims; Debian 12 has 0.7.
  local id = assert(vim.lsp.start_client({ name = 'glimmark', cmd = { glimmark, 'lsp' },
    root_dir = vim.fn.fnamemodify(scene, ':p:h') }))
  vim.lsp.buf_attach_client(buf, id)

  -- The diagnostic, in Neovim's own positions: lines from 0, columns in
  -- bytes ("é" is two), converted from the server's UTF-16 ones.
  vim.wait(10000, function() return #vim.diagnostic.get(buf) > 0 end, 10)
  local found = vim.diagnostic.get(buf)
  check('diagnostics', vim.tbl_map(function(d) return { d.message, d.lnum, d.col, d.end_col, d.severity } end, found),
    { { 'Bad Scene. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE', 9, 12, 17,
        vim.diagnostic.severity.ERROR } })

  -- Hover on TRACER: the help page's entry in Neovim's floating window.
  vim.api.nvim_win_set_cursor(0, { 3, 2 })
  vim.lsp.buf.hover()
  local float
  vim.wait(5000, function()
    for _, win in ipairs(vim.api.nvim_list_wins()) do
      if vim.api.nvim_win_get_config(win).relative ~= '' then float = win end
    end
    return float ~= nil
  end, 10)
  check('hover window shown', float ~= nil, true)
  if float then
    local text = table.concat(vim.api.nvim_buf_get_lines(vim.api.nvim_win_get_buf(float), 0, -1, false), '\n')
    check('hover names the keyword', text:find('TRACER', 1, true) ~= nil, true)
    check('hover has the entry', text:find('END_TRACER', 1, true) ~= nil, true)
    vim.api.nvim_win_close(float, true)
  end

  -- Go to definition from "ball" in INCLUDE NAME ball: the cursor lands on
  -- the DEFINE's name.
  vim.api.nvim_win_set_cursor(0, { 12, 22 })
  vim.lsp.buf.definition()
  vim.wait(5000, function() return vim.api.nvim_win_get_cursor(0)[1] ~= 12 end, 10)
  check('definition', vim.api.nvim_win_get_cursor(0), { 4, 12 })

  -- The outline, as Neovim's symbol list shows it.
  local answers = vim.lsp.buf_request_sync(buf, 'textDocument/documentSymbol',
    { textDocument = vim.lsp.util.make_text_document_params() }, 5000)
  local answer = answers and answers[id] or {}
  check('outline error', answer.err, nil)
  local names = {}
  for _, item in ipairs(vim.lsp.util.symbols_to_items(answer.result or {}, buf)) do
    table.insert(names, { item.lnum, item.text })
  end
  check('outline', names, { { 3, '[Namespace] TRACER' }, { 4, '[Function] DEFINE ball' },
    { 7, '[Module] SCENE' }, { 8, '[Object] CAMERA' }, { 9, '[Event] LIGHT' },
    { 11, '[Class] MATERIAL red' }, { 12, '[Namespace] FRAME' } })

  vim.lsp.stop_client(id)
  vim.wait(5000, function() return vim.lsp.get_client_by_id(id) == nil end, 10)
end

local ok, problem = pcall(session)
if not ok then table.insert(failures, 'error: ' .. tostring(problem)) end
if #failures > 0 then
  io.stderr:write(table.concat(failures, '\n') .. '\n')
  vim.cmd('cquit 1')
else
  io.stderr:write('Neovim session: diagnostic, hover, definition and outline as expected\n')
  vim.cmd('qall!')
end
